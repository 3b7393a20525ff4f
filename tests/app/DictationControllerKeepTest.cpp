// Recordings whose request failed are kept, and a kept recording can be sent again.
#include "ControllerHarness.h"

#include <gtest/gtest.h>

namespace vokari::testing {
namespace {

using Kept = std::vector<std::pair<double, std::string>>;

TEST(DictationControllerKeep, EveryFailedDictationIsKeptButNeverACancelledOneNorACommand) {
    ControllerHarness h;
    h.dictate(1.0);
    h.answer(ProcessError{"Server error — try again"});
    EXPECT_EQ(h.keeper->kept, (Kept{{1.0, "Server error — try again"}}));
    h.queue.advance(2.5);

    h.dictate(0.5);
    h.answer(ProcessRateLimited{});
    h.fake->alertDismissals.back()();
    EXPECT_EQ(h.keeper->kept.back(), (std::pair<double, std::string>{0.5, "Daily limit reached"}));

    h.dictate(1.0);
    h.answer(refined("fine"));
    h.dictate(1.0);
    h.cancel();
    h.answer(ProcessError{"Request timed out — try again"});
    h.command(1.0);
    h.answerCommand(CommandError{"Server error — try again"});
    EXPECT_EQ(h.keeper->kept.size(), 2u) << "a success, a cancel and a command keep nothing";
    h.queue.advance(2.5);
    h.settings.setCommandModeEnabled(false);

    // A hold ending while a request is pending lets a newer recording go out; the older one's failure is
    // dropped from the screen but its recording is still kept.
    h.dictate(2.0);
    h.holdEnd();
    h.dictate(1.0);
    h.answer(ProcessError{"Server temporarily unavailable"}, static_cast<int>(h.fake->dictations.size()) - 2);
    EXPECT_EQ(h.keeper->kept.back(), (std::pair<double, std::string>{2.0, "Server temporarily unavailable"}));
    EXPECT_EQ(h.state(), VokariState::processing) << "the newer request is still under way";

    // Quitting while it is still under way: its answer will never be seen, so it is kept too.
    h.controller->shutdown();
    EXPECT_EQ(h.keeper->kept.back(), (std::pair<double, std::string>{1.0, "Vokari quit before the answer came"}));
    EXPECT_EQ(h.keeper->kept.size(), 4u);

    // An end the user did not choose keeps the recording in progress, once it is long enough to be sent.
    ControllerHarness lost;
    lost.toggle();
    lost.record(0.2);
    lost.controller->keepRecordingInProgress("gone");
    EXPECT_TRUE(lost.keeper->kept.empty());
    lost.record(0.8);
    lost.controller->keepRecordingInProgress("gone");
    EXPECT_EQ(lost.keeper->kept, (Kept{{1.0, "gone"}}));
}

TEST(DictationControllerKeep, ARetryPastesWhereTheFocusIsNowAndOnlyASuccessDiscardsIt) {
    ControllerHarness h;
    h.dictate(1.0);
    h.answer(refined("first"));
    h.fake->frontmost = RunningApp{0x3c00001, 77, "Gedit", std::string("gedit")};
    h.take();

    h.controller->retryRecording("k1");
    ASSERT_EQ(h.keeper->loads.size(), 1u);
    h.keeper->loads.back().second(std::vector<std::uint8_t>(32044, 0));
    EXPECT_EQ(h.state(), VokariState::processing);
    h.answer(refined("kept words"));
    EXPECT_EQ(h.take("paste"), Lines{"paste kept words -> Gedit"}) << "where the focus is now, not at recording";
    EXPECT_EQ(h.fake->all("history ").back(), "history kept words");
    EXPECT_EQ(h.keeper->discarded, std::vector<std::string>{"k1"});
    EXPECT_EQ(h.state(), VokariState::idle);

    // A failed retry leaves the file kept (and keeps no second copy); so does a cancelled one.
    h.controller->retryRecording("k2");
    h.keeper->loads.back().second(std::vector<std::uint8_t>(32044, 0));
    h.answer(ProcessError{"Could not reach the server — try again"});
    h.queue.advance(2.5);
    h.controller->retryRecording("k2");
    h.keeper->loads.back().second(std::vector<std::uint8_t>(32044, 0));
    h.cancel();
    h.answer(refined("too late"));
    EXPECT_EQ(h.keeper->discarded.size(), 1u);
    EXPECT_TRUE(h.keeper->kept.empty());
    EXPECT_EQ(h.state(), VokariState::idle);

    // Only from idle, and an unreadable recording sends nothing.
    h.toggle();
    h.controller->retryRecording("k3");
    EXPECT_EQ(h.keeper->loads.size(), 3u) << "not while recording";
    h.cancel();
    h.controller->retryRecording("k4");
    const auto sent = h.fake->dictations.size();
    h.keeper->loads.back().second(std::nullopt);
    EXPECT_EQ(h.fake->dictations.size(), sent);
    EXPECT_EQ(h.state(), VokariState::idle);

    // With no usable backend the press is answered on screen, and the recording is neither read nor touched.
    h.fake->configured = false;
    h.take();
    h.controller->retryRecording("k5");
    EXPECT_EQ(h.take("ui error"), Lines{"ui error: No backend configured"});
    EXPECT_EQ(h.keeper->loads.size(), 4u);
    h.queue.advance(2.5);
    EXPECT_EQ(h.state(), VokariState::idle);
}

} // namespace
} // namespace vokari::testing
