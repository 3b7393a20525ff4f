#pragma once
// What the dictation controller needs of the floating recording capsule. Main thread.
#include <string>

namespace vokari {

class Indicator {
public:
    virtual ~Indicator() = default;
    virtual void showIndicator() = 0;
    virtual void hideIndicator() = 0;
    virtual void showProcessing() = 0;
    // Shows the message; the capsule hides itself 2.0 s later.
    virtual void showError(const std::string& message) = 0;
    virtual void pushLevel(float level) = 0;
    virtual void setMaxDuration(double seconds) = 0;
};

} // namespace vokari
