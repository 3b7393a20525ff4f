// The update check: its request, how answers are read, what a manual and an automatic check report, the timers,
// and an automatic find that waits for the app to be idle.
#include "UpdateFakes.h"
#include "update/UpdateTexts.h"

#include <gtest/gtest.h>

namespace vokari {
namespace {

using test::UpdaterHarness;
using Lines = std::vector<std::string>;

const std::string offer = R"({"update_available":true,"latest":"2.0.0","download_url":"https://h/v.tar.gz"})";

TEST(AutoUpdaterCheck, RequestAndAnswerRules) {
    UpdaterHarness h("1.0.0-rc1", "https://updates.example.com");
    h.updater->checkForUpdate(false);
    ASSERT_EQ(h.transport->checks.size(), 1u);
    EXPECT_EQ(h.transport->checks[0].method, "GET");
    EXPECT_EQ(h.transport->checks[0].url, "https://updates.example.com/update/check?v=1.0.0-rc1");
    EXPECT_TRUE(h.transport->checks[0].headers.empty());

    // The status is not examined: a 500 that names an update offers it.
    h.answer(offer, 500);
    EXPECT_EQ(h.lines, Lines{"[update] new version available: 2.0.0 (current: 1.0.0-rc1)"});
    ASSERT_EQ(h.presenter->alerts.size(), 1u);
    EXPECT_EQ(h.presenter->alerts[0], texts::updateAvailable("2.0.0", "1.0.0-rc1"));
    EXPECT_EQ(h.presenter->alerts[0].informativeText,
              "Vokari 2.0.0 is available. You're currently on 1.0.0-rc1.\n\nWould you like to update now?");
    h.presenter->press("Later");

    // Anything short of true + two strings is "up to date".
    for (const char* body : {R"({"update_available":true,"latest":"2.0.0"})",
                             R"({"update_available":"yes","latest":"2.0.0","download_url":"https://h/v"})",
                             R"({"update_available":true,"latest":2,"download_url":"https://h/v"})",
                             R"([{"update_available":true}])", "<html>busy</html>", ""}) {
        h.lines.clear();
        h.updater->checkForUpdate(false);
        h.answer(body);
        EXPECT_EQ(h.lines, Lines{"[update] up to date (1.0.0-rc1)"}) << body;
        EXPECT_EQ(h.presenter->alerts.back().messageText, "You're Up to Date") << body;
        EXPECT_EQ(h.presenter->alerts.back().informativeText, "Vokari 1.0.0-rc1 is the latest version.");
        h.presenter->press("OK");
    }

    // A version that makes no URL sends nothing and says nothing, even for a manual check.
    UpdaterHarness spaced("1.0 beta");
    spaced.updater->checkForUpdate(false);
    spaced.queue->runUntilIdle();
    EXPECT_TRUE(spaced.transport->checks.empty());
    EXPECT_TRUE(spaced.lines.empty());
    EXPECT_TRUE(spaced.presenter->alerts.empty());
}

TEST(AutoUpdaterCheck, ManualChecksReportEveryOutcomeAutomaticOnlyAFind) {
    UpdaterHarness h;
    h.updater->checkForUpdate(false);
    h.transport->answerCheck(TransportError{urlError::cannotConnectToHost, "Could not connect to server"});
    EXPECT_TRUE(h.lines.empty()); // reported on the main queue
    h.queue->runUntilIdle();
    EXPECT_EQ(h.lines, Lines{"[update] check failed: Could not connect to server"});
    ASSERT_EQ(h.presenter->alerts.size(), 1u);
    EXPECT_EQ(h.presenter->alerts[0], (UpdateAlert{"Update Check Failed",
                                                   "Couldn't reach the update server. Check your internet connection.",
                                                   UpdateAlert::Style::warning,
                                                   {"OK"}}));
    h.presenter->press("OK");

    h.lines.clear();
    h.updater->checkForUpdate(false);
    h.transport->answerCheck(TransportError{urlError::unknown, ""});
    h.queue->runUntilIdle();
    EXPECT_EQ(h.lines, Lines{"[update] check failed: unknown"});

    // Automatic: failures and "up to date" are silent; a find is announced like a manual one.
    h.lines.clear();
    h.presenter->alerts.clear();
    h.updater->checkForUpdate(true);
    h.transport->answerCheck(TransportError{urlError::timedOut, "timed out"});
    h.queue->runUntilIdle();
    h.updater->checkForUpdate(true);
    h.answer(R"({"update_available":false})");
    EXPECT_TRUE(h.lines.empty());
    EXPECT_TRUE(h.presenter->alerts.empty());
    h.updater->checkForUpdate(true);
    h.answer(offer);
    EXPECT_EQ(h.lines, Lines{"[update] new version available: 2.0.0 (current: 1.0.0)"});
    EXPECT_EQ(h.presenter->titles(), Lines{"Update Available"});

    // A second find while the offer is still on screen does not stack another alert.
    h.updater->checkForUpdate(false);
    h.answer(offer);
    EXPECT_EQ(h.presenter->titles(), Lines{"Update Available"});
}

TEST(AutoUpdaterCheck, FirstCheckAfterFiveSecondsThenHourly) {
    UpdaterHarness h;
    h.updater->startPeriodicChecks();
    h.updater->startPeriodicChecks(); // once
    h.queue->advance(4.999);
    EXPECT_EQ(h.transport->checks.size(), 0u);
    h.queue->advance(0.001);
    EXPECT_EQ(h.transport->checks.size(), 1u);
    h.answer(R"({"update_available":false})");
    h.queue->advance(3600.0 - 5.0 - 0.001);
    EXPECT_EQ(h.transport->checks.size(), 1u);
    h.queue->advance(0.001); // the hourly timer counts from when it was scheduled
    EXPECT_EQ(h.transport->checks.size(), 2u);
    h.queue->advance(3600.0);
    EXPECT_EQ(h.transport->checks.size(), 3u);
    // Nothing keeps running once the updater is gone.
    h.updater.reset();
    h.queue->advance(7200.0);
    EXPECT_EQ(h.transport->checks.size(), 3u);
    h.transport->answerCheck(HttpResponse{200, offer});
    h.queue->runUntilIdle();
    EXPECT_TRUE(h.presenter->alerts.empty());
}

TEST(AutoUpdaterCheck, AnAutomaticFindWaitsForIdleThenShowsOnce) {
    UpdaterHarness h;
    h.activity = AppActivity::processing;
    h.updater->checkForUpdate(true);
    h.answer(offer);
    EXPECT_EQ(h.lines, Lines{"[update] new version available: 2.0.0 (current: 1.0.0)"});
    EXPECT_TRUE(h.presenter->alerts.empty());
    ASSERT_TRUE(h.updater->pendingUpdate());

    // A newer find replaces the pending one.
    h.updater->checkForUpdate(true);
    h.answer(R"({"update_available":true,"latest":"2.1.0","download_url":"https://h/w.tar.gz"})");
    h.activity = AppActivity::listening;
    h.activity = AppActivity::other; // an error on screen is not idle either
    EXPECT_TRUE(h.presenter->alerts.empty());

    h.activity = AppActivity::idle;
    ASSERT_EQ(h.presenter->alerts.size(), 1u);
    EXPECT_EQ(h.presenter->alerts[0], texts::updateAvailable("2.1.0", "1.0.0"));
    EXPECT_FALSE(h.updater->pendingUpdate());
    h.presenter->press("Later");
    h.activity = AppActivity::listening;
    h.activity = AppActivity::idle; // the wait ended with the alert
    EXPECT_EQ(h.presenter->alerts.size(), 1u);

    // A manual check shows its find even during a dictation.
    h.activity = AppActivity::listening;
    h.updater->checkForUpdate(false);
    h.answer(offer);
    EXPECT_EQ(h.presenter->alerts.size(), 2u);
}

TEST(AutoUpdaterCheck, ChecksAreSkippedWhileUpdating) {
    UpdaterHarness h;
    h.checkAndOffer("https://h/v.tar.gz");
    h.presenter->press("Update Now");
    ASSERT_TRUE(h.updater->isUpdating());
    h.lines.clear();
    h.updater->checkForUpdate(false);
    h.updater->checkForUpdate(true);
    EXPECT_EQ(h.lines, Lines{"[update] already updating, skipping check"});
    EXPECT_EQ(h.transport->checks.size(), 1u);

    // A find that arrives once an update has started shows nothing.
    UpdaterHarness late;
    late.updater->checkForUpdate(true);
    late.checkAndOffer("https://h/v.tar.gz");
    late.presenter->press("Update Now");
    late.answer(offer);
    EXPECT_EQ(late.presenter->titles(), Lines{"Update Available"});
}

} // namespace
} // namespace vokari
