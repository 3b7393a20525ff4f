#include "desktop/TextInserter.h"

#include "core/DebugLog.h"
#include "desktop/TerminalWindowClasses.h"
#include "desktop/VirtualKeys.h"

#include <algorithm>

namespace vokari {

std::shared_ptr<TextInserter> TextInserter::create(MainQueue& queue, Settings settings, Platform platform) {
    return std::shared_ptr<TextInserter>(new TextInserter(queue, settings, std::move(platform)));
}

TextInserter::TextInserter(MainQueue& mainQueue, Settings settings, Platform platform)
    : mainQueue(mainQueue), settings(settings), platform(std::move(platform)) {}

bool TextInserter::autoEnter(const Settings& settings) {
    return settings.autoEnterAfterPaste();
}

void TextInserter::setAutoEnter(Settings& settings, bool on) {
    settings.setAutoEnterAfterPaste(on);
}

template <typename Fn> void TextInserter::after(double seconds, Fn step) {
    std::weak_ptr<TextInserter> weak = weak_from_this();
    mainQueue.postAfter(seconds, [weak, step = std::move(step)]() mutable {
        if (auto self = weak.lock()) {
            step(*self);
        }
    });
}

void TextInserter::insert(std::string text, std::optional<RunningApp> targetApp) {
    queue.emplace_back(std::move(text), std::move(targetApp));
    drainQueue();
}

void TextInserter::drainQueue() {
    // A loop rather than recursion: copy-only requests release at once, and a long queue must not deepen the stack.
    while (!isBusy && !queue.empty()) {
        auto [text, targetApp] = std::move(queue.front());
        queue.pop_front();
        isBusy = true;

        if (!platform.trust || !platform.trust->isProcessTrusted()) {
            debugLog("📋 Accessibility not granted — copying to clipboard only");
            copyToClipboard(text);
            isBusy = false;
            continue;
        }
        copyToClipboard(text);

        std::optional<RunningApp> activated;
        if (targetApp && platform.workspace && !platform.workspace->isTerminated(*targetApp)) {
            platform.workspace->activate(*targetApp);
            debugLog("📋 Re-activated " + targetApp->localizedName.value_or("app") + " before paste");
            activated = targetApp;
        }
        const double activatedAt = mainQueue.now();
        after(pasteDelay, [activated, activatedAt](TextInserter& self) { self.pasteStep(activated, activatedAt); });
    }
}

void TextInserter::copyToClipboard(const std::string& text) {
    if (platform.pasteboard) {
        platform.pasteboard->setString(text);
    }
}

void TextInserter::pasteStep(std::optional<RunningApp> activated, double activatedAt) {
    if (activated && platform.workspace && !platform.workspace->isActive(*activated)) {
        const double remaining = activatedAt + activationWait - mainQueue.now();
        if (remaining > 1e-9) {
            after(std::min(activationPollInterval, remaining),
                  [activated, activatedAt](TextInserter& self) { self.pasteStep(activated, activatedAt); });
            return;
        }
        debugLog("📋 Target window did not become active — pasting into the active window");
        // The paste goes to whichever window is active, so that window's class picks the chord.
        activated.reset();
    }
    simulatePaste(activated);
    const double delay = autoEnter(settings) ? enterDelay : 0.0;
    after(delay, [](TextInserter& self) { self.enterStep(); });
}

void TextInserter::enterStep() {
    if (autoEnter(settings)) {
        simulateEnter();
    }
    after(releaseDelay, [](TextInserter& self) {
        self.isBusy = false;
        self.drainQueue();
    });
}

void TextInserter::simulatePaste(const std::optional<RunningApp>& activated) {
    // The paste goes to the window that is active now; its class decides the chord.
    std::optional<RunningApp> receiver = activated;
    if (!receiver && platform.workspace) {
        receiver = platform.workspace->frontmostApplication();
    }
    std::uint64_t flags = eventFlag::command;
    if (receiver && isTerminalWindowClass(receiver->windowClass)) {
        flags |= eventFlag::shift;
    }
    if (!platform.input || !platform.input->postKey(virtualKey::v, flags)) {
        debugLog("📋 Failed to create CGEvent for paste — text is on clipboard");
    }
}

void TextInserter::simulateEnter() {
    if (platform.input) {
        platform.input->postKey(virtualKey::returnKey, 0);
    }
}

} // namespace vokari
