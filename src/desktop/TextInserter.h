#pragma once
// Pastes finished dictation results into the target application, strictly one after another: clipboard,
// re-activation (waiting until the window is active), the paste chord, optionally Return. Main thread: insert()
// and every timed step run there. Owned by the dictation set-up through a shared_ptr (create()).
#include "core/MainQueue.h"
#include "core/Settings.h"
#include "desktop/AccessibilityTrust.h"
#include "desktop/InputSynthesizer.h"
#include "desktop/Pasteboard.h"
#include "desktop/TextInsertion.h"
#include "desktop/Workspace.h"

#include <deque>
#include <memory>
#include <utility>

namespace vokari {

class TextInserter : public TextInsertion, public std::enable_shared_from_this<TextInserter> {
public:
    struct Platform {
        std::shared_ptr<Pasteboard> pasteboard;
        std::shared_ptr<InputSynthesizer> input;
        std::shared_ptr<Workspace> workspace;
        std::shared_ptr<AccessibilityTrust> trust;
    };

    static constexpr double pasteDelay = 0.15;
    static constexpr double enterDelay = 0.15;
    static constexpr double releaseDelay = 0.05;
    // Window managers activate asynchronously; the paste waits for the target at most this long after the request.
    static constexpr double activationTimeout = 0.5;
    static constexpr double activationPollInterval = 0.02;

    static std::shared_ptr<TextInserter> create(MainQueue& queue, Settings settings, Platform platform);

    void insert(std::string text, std::optional<RunningApp> targetApp) override;

    // Reads and writes "autoEnterAfterPaste" (false when absent); read afresh at every step.
    static bool autoEnter(const Settings& settings);
    static void setAutoEnter(Settings& settings, bool on);

    // How long a paste waits for the re-activated target; activationTimeout unless a test on a loaded machine
    // needs more.
    void setActivationWait(double seconds) { activationWait = seconds; }

    bool busy() const { return isBusy; }
    std::size_t queuedCount() const { return queue.size(); }

private:
    TextInserter(MainQueue& mainQueue, Settings settings, Platform platform);
    void drainQueue();
    void copyToClipboard(const std::string& text);
    void pasteStep(std::optional<RunningApp> activated, double activatedAt);
    void enterStep();
    void simulatePaste(const std::optional<RunningApp>& activated);
    void simulateEnter();
    template <typename Fn> void after(double seconds, Fn step);

    MainQueue& mainQueue;
    Settings settings;
    Platform platform;
    std::deque<std::pair<std::string, std::optional<RunningApp>>> queue;
    bool isBusy = false;
    double activationWait = activationTimeout;
};

} // namespace vokari
