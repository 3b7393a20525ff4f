#include "DesktopFakes.h"

#include "core/DefaultsStore.h"
#include "core/VirtualMainQueue.h"
#include "desktop/TextInserter.h"
#include "desktop/VirtualKeys.h"

#include <gtest/gtest.h>

namespace vokari {
namespace {

using namespace vokari::testing;

const std::string kPaste = "key 9 flags " + std::to_string(eventFlag::command);
const std::string kTerminalPaste = "key 9 flags " + std::to_string(eventFlag::command | eventFlag::shift);
const std::string kReturn = "key 36 flags 0";

struct InserterHarness {
    VirtualMainQueue queue{0.0};
    MemoryDefaultsStore store;
    Settings settings{store};
    Timeline timeline{queue};
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>(timeline);
    std::shared_ptr<FakeInput> input = std::make_shared<FakeInput>(timeline);
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>(timeline, queue);
    std::shared_ptr<FakeTrust> trust = std::make_shared<FakeTrust>();
    std::shared_ptr<LogCapture> log = std::make_shared<LogCapture>();
    std::shared_ptr<TextInserter> inserter;
    RunningApp editor{0x400001, 100, "Gedit", "Text Editor"};

    InserterHarness() {
        debuglog::setSink(log);
        inserter = TextInserter::create(queue, settings, {pasteboard, input, workspace, trust});
    }
    ~InserterHarness() { debuglog::setSink(nullptr); }

    std::vector<std::string> rows() const {
        std::vector<std::string> out;
        for (const auto& e : timeline.entries) {
            char at[16];
            std::snprintf(at, sizeof at, "%.2f ", e.at);
            out.push_back(at + e.what);
        }
        return out;
    }
};

TEST(TextInserter, RequestsRunInOrderWithTheirStepTiming) {
    InserterHarness h;
    TextInserter::setAutoEnter(h.settings, true);
    h.inserter->insert("one", h.editor);
    h.queue.advance(0.01);
    h.inserter->insert("two", h.editor);
    EXPECT_EQ(h.inserter->queuedCount(), 1u);
    h.queue.advance(2.0);
    EXPECT_EQ(h.rows(), (std::vector<std::string>{"0.00 copy one", "0.00 activate 4194305", "0.15 " + kPaste,
                                                  "0.30 " + kReturn, "0.35 copy two", "0.35 activate 4194305",
                                                  "0.50 " + kPaste, "0.65 " + kReturn}));
    EXPECT_FALSE(h.inserter->busy());
    EXPECT_EQ(h.pasteboard->content, "two"); // the earlier clipboard content is not restored
    EXPECT_EQ(h.log->messages(), (std::vector<std::string>{"📋 Re-activated Text Editor before paste",
                                                           "📋 Re-activated Text Editor before paste"}));

    // Without auto-enter a request holds the inserter for 0.15 s + 0.05 s; an empty text is queued like any other.
    InserterHarness off;
    off.inserter->insert("", std::nullopt);
    off.inserter->insert("b", std::nullopt);
    off.queue.advance(1.0);
    EXPECT_EQ(off.rows(), (std::vector<std::string>{"0.00 copy ", "0.15 " + kPaste, "0.20 copy b", "0.35 " + kPaste}));
    EXPECT_TRUE(off.log->messages().empty()); // no target: nothing activated, nothing logged
}

TEST(TextInserter, AutoEnterIsReadAgainAtEachStep) {
    // Turned on between paste and Return: the Return is posted, after the 0 s delay chosen at paste time.
    InserterHarness on;
    // A task posted during the paste runs after the paste step and before the Return step.
    on.input->onPost = [&](std::uint16_t key) {
        if (key == virtualKey::v) {
            on.queue.post([&] { TextInserter::setAutoEnter(on.settings, true); });
        }
    };
    on.inserter->insert("x", std::nullopt);
    on.inserter->insert("y", std::nullopt);
    on.queue.advance(0.15);
    EXPECT_EQ(on.rows(), (std::vector<std::string>{"0.00 copy x", "0.15 " + kPaste, "0.15 " + kReturn}));
    on.queue.advance(0.05);
    EXPECT_EQ(on.rows().back(), "0.20 copy y");

    // Turned off between paste and Return: no Return, the queue is released 0.15 s + 0.05 s after the paste.
    InserterHarness off;
    TextInserter::setAutoEnter(off.settings, true);
    off.inserter->insert("x", std::nullopt);
    off.inserter->insert("y", std::nullopt);
    off.queue.advance(0.2);
    TextInserter::setAutoEnter(off.settings, false);
    off.queue.advance(0.3);
    EXPECT_EQ(off.rows(), (std::vector<std::string>{"0.00 copy x", "0.15 " + kPaste, "0.35 copy y", "0.50 " + kPaste}));
}

TEST(TextInserter, WithoutTrustEveryTextIsOnlyCopied) {
    InserterHarness h;
    h.trust->trusted = false;
    h.inserter->insert("a", h.editor);
    h.inserter->insert("b", h.editor);
    h.inserter->insert("c", h.editor);
    h.queue.advance(1.0);
    EXPECT_EQ(h.rows(), (std::vector<std::string>{"0.00 copy a", "0.00 copy b", "0.00 copy c"}));
    EXPECT_EQ(h.log->messages(),
              std::vector<std::string>(3, "📋 Accessibility not granted — copying to clipboard only"));
    EXPECT_FALSE(h.inserter->busy());
}

TEST(TextInserter, TerminalsGetControlShiftV) {
    InserterHarness h;
    for (const char* cls : {"XTerm", "kitty", "Gnome-terminal", "org.wezfurlong.wezterm"}) {
        h.inserter->insert("ls", RunningApp{1, 1, cls, std::nullopt});
    }
    h.inserter->insert("hello", RunningApp{2, 2, "firefox", std::nullopt});
    h.inserter->insert("stay", RunningApp{3, 3, "Stterm", std::nullopt}); // a prefix is not a match
    // No target: the window that is active now decides (here the last one activated, not a terminal).
    h.inserter->insert("plain", std::nullopt);
    h.queue.advance(5.0);
    h.workspace->frontmost = RunningApp{5, 5, "Alacritty", std::nullopt};
    h.inserter->insert("term", std::nullopt);
    h.queue.advance(1.0);
    std::vector<std::string> chords;
    for (const auto& e : h.timeline.entries) {
        if (e.what.rfind("key", 0) == 0) {
            chords.push_back(e.what);
        }
    }
    EXPECT_EQ(chords, (std::vector<std::string>{kTerminalPaste, kTerminalPaste, kTerminalPaste, kTerminalPaste, kPaste,
                                                kPaste, kPaste, kTerminalPaste}));
    EXPECT_EQ(h.log->messages()[0], "📋 Re-activated app before paste");
}

TEST(TextInserter, PasteWaitsForTheTargetToBecomeActiveAtMostHalfASecond) {
    InserterHarness slow;
    slow.workspace->activationLatency = 0.31;
    slow.inserter->insert("late", slow.editor);
    slow.queue.advance(1.0);
    EXPECT_EQ(slow.rows(), (std::vector<std::string>{"0.00 copy late", "0.00 activate 4194305", "0.31 " + kPaste}));

    InserterHarness never;
    never.workspace->activationLatency = -1;
    never.inserter->insert("lost", never.editor);
    never.inserter->insert("next", std::nullopt);
    never.queue.advance(2.0);
    EXPECT_EQ(never.rows(), (std::vector<std::string>{"0.00 copy lost", "0.00 activate 4194305", "0.50 " + kPaste,
                                                      "0.55 copy next", "0.70 " + kPaste}));
    EXPECT_EQ(never.log->messages().back(), "📋 Target window did not become active — pasting into the active window");

    // When the target stays behind, the chord suits the window that does get the paste.
    InserterHarness behind;
    behind.workspace->activationLatency = -1;
    behind.workspace->frontmost = RunningApp{9, 9, "kitty", std::nullopt};
    behind.inserter->insert("ls", behind.editor);
    behind.queue.advance(1.0);
    EXPECT_EQ(behind.rows().back(), "0.50 " + kTerminalPaste);

    // A target that has quit is not activated and not waited for; the paste goes to the active window.
    InserterHarness gone;
    gone.workspace->terminatedPid = gone.editor.pid;
    gone.inserter->insert("x", gone.editor);
    gone.queue.advance(1.0);
    EXPECT_EQ(gone.rows(), (std::vector<std::string>{"0.00 copy x", "0.15 " + kPaste}));
    EXPECT_TRUE(gone.log->messages().empty());
}

TEST(TextInserter, FailedPasteKeepsTheTextAndStillReleasesTheQueue) {
    InserterHarness h;
    TextInserter::setAutoEnter(h.settings, true);
    h.input->works = false;
    h.inserter->insert("kept", std::nullopt);
    h.inserter->insert("next", std::nullopt);
    h.queue.advance(0.35);
    EXPECT_EQ(h.rows(), (std::vector<std::string>{"0.00 copy kept", "0.35 copy next"}));
    EXPECT_EQ(h.log->messages().front(), "📋 Failed to create CGEvent for paste — text is on clipboard");

    // Steps scheduled for an inserter that is gone do nothing.
    InserterHarness dropped;
    dropped.inserter->insert("a", std::nullopt);
    dropped.inserter.reset();
    dropped.queue.advance(1.0);
    EXPECT_EQ(dropped.rows(), std::vector<std::string>{"0.00 copy a"});
}

} // namespace
} // namespace vokari
