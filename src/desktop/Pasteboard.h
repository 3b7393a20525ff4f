#pragma once
// The system clipboard as the text inserter uses it: replace its content with one plain string.
// Main thread. The platform layer implements it (the X11 CLIPBOARD); tests record the strings.
#include <string>

namespace vokari {

class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    // Clears the clipboard and sets text (UTF-8) as its only, plain-text content.
    virtual void setString(const std::string& text) = 0;
};

} // namespace vokari
