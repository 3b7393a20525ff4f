#pragma once
// Hands a URL to the desktop's default handler for its scheme, never to a shell. The outcome is not reported.
// Main thread. The platform implements it.
#include <string>

namespace vokari {

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void open(const std::string& url) = 0;
};

} // namespace vokari
