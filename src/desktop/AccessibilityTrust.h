#pragma once
// Whether the process may drive other applications with synthetic input. On X11 any client with a display
// connection and the XTest extension may. Main thread. Implemented by the platform layer; tests toggle it.
namespace vokari {

class AccessibilityTrust {
public:
    virtual ~AccessibilityTrust() = default;
    virtual bool isProcessTrusted() = 0;
};

} // namespace vokari
