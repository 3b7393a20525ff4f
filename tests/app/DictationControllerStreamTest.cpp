// An ordinary dictation streamed while it records: the stream carries what the WAV holds and is answered through
// the same paths as a request; every way a recording ends without an answer gives the stream up.
#include "ControllerHarness.h"

#include <gtest/gtest.h>

namespace vokari::testing {
namespace {

TEST(DictationControllerStream, AStreamedDictationIsAnsweredThroughTheSamePathsAsARequest) {
    struct Case {
        ProcessResult answer;
        Lines expected;
    };
    for (const Case& c :
         {Case{refined("Hello."), {"log 📋 Inserting: Hello....", "paste Hello. -> XTerm", "history Hello.", "ui hide"}},
          Case{ProcessError{"Server error — try again"}, {"sound Basso", "ui error: Server error — try again"}},
          Case{ProcessRateLimited{}, {"alert Daily limit reached " + kRateLimitMessage}}}) {
        SCOPED_TRACE(c.expected[0]);
        ControllerHarness h;
        h.fake->streams = true;
        h.toggle();
        // Opened before capture starts, so it gets the first buffer.
        EXPECT_EQ(h.take("stream open"), Lines{"stream open dictation"});
        EXPECT_EQ(h.fake->all("capture start").size(), 1u);
        h.record(0.5);
        h.record(0.75);
        h.take();
        h.toggle();
        // Exactly the WAV's samples were streamed; the WAV goes along for a fallback, and nothing else is sent.
        EXPECT_EQ(h.take(),
                  (Lines{"sound Glass", "capture stop", "ui processing",
                         "log 🎙 Sending 40044 bytes (1.2s) to backend...", "stream finish 40000 of 40044"}));
        h.fake->deliver(1600); // a late buffer after the stop reaches neither
        h.answer(c.answer);
        EXPECT_EQ(h.take(), c.expected);
        h.queue.advance(2.5);
        if (!h.fake->alertDismissals.empty()) {
            h.fake->alertDismissals.back()();
        }
        EXPECT_EQ(h.state(), VokariState::idle);
    }
}

TEST(DictationControllerStream, EveryRecordingThatEndsWithoutAnAnswerGivesItsStreamUp) {
    struct Case {
        const char* name;
        void (*end)(ControllerHarness&);
        Lines sent;
    };
    for (const Case& c : {
             Case{"too short", [](ControllerHarness& h) { h.dictate(0.25); }, {}},
             Case{"cancelled while listening",
                  [](ControllerHarness& h) {
                      h.toggle();
                      h.record(1.0);
                      h.cancel();
                  },
                  {}},
             Case{"turned into a command",
                  [](ControllerHarness& h) {
                      h.startCommand();
                      EXPECT_EQ(h.fake->all("stream abort").size(), 1u) << "given up at the double tap";
                      h.record(1.0);
                      h.toggle();
                  },
                  {"send command 32044 + iVBORw0KGgo="}},
             Case{"cancelled while the answer is due",
                  [](ControllerHarness& h) {
                      h.dictate(1.0);
                      h.cancel();
                  },
                  {}},
             Case{"microphone failed to start",
                  [](ControllerHarness& h) {
                      h.fake->startOutcome = false;
                      h.toggle();
                  },
                  {}},
             Case{"controller gone",
                  [](ControllerHarness& h) {
                      h.toggle();
                      h.record(1.0);
                      h.controller.reset();
                  },
                  {}},
         }) {
        SCOPED_TRACE(c.name);
        ControllerHarness h;
        h.fake->streams = true;
        c.end(h);
        EXPECT_EQ(h.fake->all("stream abort"), Lines{"stream abort"});
        EXPECT_EQ(h.fake->all("send"), c.sent);
        // A late answer to a given-up stream changes nothing.
        for (auto& done : h.fake->dictations) {
            done(refined("too late"));
        }
        h.queue.advance(5);
        EXPECT_EQ(h.fake->all("paste"), Lines{});
    }
}

// In hold mode a stray release leaves a streamed recording's answer pending while a newer one records.
TEST(DictationControllerStream, AStreamAnswerAfterANewerRecordingWasSentIsDropped) {
    ControllerHarness h;
    h.fake->streams = true;
    h.holdStart();
    h.record(1.0);
    h.holdEnd();
    h.holdEnd();
    h.holdStart();
    h.record(1.0);
    h.holdEnd();
    EXPECT_EQ(h.fake->all("stream finish"), (Lines{"stream finish 32000 of 32044", "stream finish 32000 of 32044"}));
    h.answer(refined("newer"), 1);
    h.answer(refined("older"), 0);
    EXPECT_EQ(h.fake->all("paste"), Lines{"paste newer -> XTerm"});
    EXPECT_EQ(h.fake->all("stream abort"), Lines{});
    EXPECT_EQ(h.state(), VokariState::idle);
}

} // namespace
} // namespace vokari::testing
