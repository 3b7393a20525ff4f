// The Home tab's history on Qt's offscreen platform: backend pages and local appends, the caps and the "older"
// label, the copy button's confirmation on virtual time, scrolling to the newest entry, and the empty panel.
#include "ui/TranscriptView.h"
#include "OffscreenApp.h"
#include "core/VirtualMainQueue.h"
#include "ui/TranscriptEntryView.h"
#include "ui/UnsentEntryView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace vokari;

namespace {

struct Fixture {
    MemoryDefaultsStore store;
    Settings settings{store};
    NotificationCenter centre;
    VirtualMainQueue queue;
    std::function<void(std::vector<Transcript>)> deliver;
    int fetches = 0;

    TranscriptView::Dependencies deps() {
        return {settings, centre, queue, [this](std::function<void(std::vector<Transcript>)> done) {
                    ++fetches;
                    deliver = std::move(done);
                }};
    }
};

Transcript item(std::string refined, std::string raw, std::string createdAt) {
    return {0, std::move(raw), std::move(refined), std::move(createdAt)};
}

std::vector<std::string> shownTexts(const TranscriptView& view) {
    std::vector<std::string> out;
    for (TranscriptEntryView* row : view.rows()) {
        out.push_back(row->entryText().toStdString());
    }
    return out;
}

} // namespace

TEST(TranscriptViewTest, BackendPageMergesWithLocalEntriesByTime) {
    uitest::offscreenApp();
    Fixture f;
    TranscriptView view(f.deps());
    view.resize(460, 380);
    view.show();
    ASSERT_EQ(f.fetches, 1);
    EXPECT_FALSE(view.onboardingContainer()->isHidden());
    EXPECT_TRUE(view.scrollView()->isHidden());

    // A failed or empty page leaves the empty panel.
    f.deliver({});
    f.queue.runUntilIdle();
    EXPECT_TRUE(view.history().empty());
    EXPECT_FALSE(view.onboardingContainer()->isHidden());

    view.addEntry("dictated just now");
    EXPECT_TRUE(view.history().empty()) << "appends hop to the main queue";
    f.queue.runUntilIdle();
    f.deliver({
        item("", "raw only", "2024-03-01T09:05:00.250Z"),
        item("", "", "2024-03-01T09:06:00Z"),
        item("refined wins", "raw", "2024-03-01T09:04:00Z"),
        item("no date", "", "yesterday-ish"),
    });
    f.queue.runUntilIdle();
    EXPECT_TRUE(view.onboardingContainer()->isHidden());
    EXPECT_FALSE(view.scrollView()->isHidden());
    // Oldest first; the unreadable date counts as now and so follows the earlier local entry.
    EXPECT_EQ(shownTexts(view), (std::vector<std::string>{"refined wins", "raw only", "dictated just now", "no date"}));
    EXPECT_EQ(view.olderLabel(), nullptr);
    const QDateTime nine05 = QDateTime::fromString(QStringLiteral("2024-03-01T09:05:00.250Z"), Qt::ISODateWithMs);
    EXPECT_EQ(view.rows()[1]->timeLabel()->text(), QLocale::system().toString(nine05.toLocalTime().time(), "h:mm AP"));
}

TEST(TranscriptViewTest, KeepsHundredShowsThirtyAndCountsTheRest) {
    uitest::offscreenApp();
    Fixture f;
    TranscriptView view(f.deps());
    view.resize(460, 380);
    view.show();
    std::vector<Transcript> page;
    for (int i = 0; i < 31; ++i) {
        page.push_back(item("entry " + std::to_string(i), "", "2024-03-01T09:" + std::to_string(10 + i) + ":00Z"));
    }
    f.deliver(page);
    f.queue.runUntilIdle();
    ASSERT_NE(view.olderLabel(), nullptr);
    EXPECT_EQ(view.olderLabel()->text(), QStringLiteral("1 older transcript"));
    EXPECT_EQ(view.rows().size(), 30u);
    EXPECT_EQ(view.rows().front()->entryText(), QStringLiteral("entry 1"));

    for (int i = 31; i < 100; ++i) {
        view.addEntry("entry " + std::to_string(i));
    }
    f.queue.runUntilIdle();
    EXPECT_EQ(view.history().entries().size(), 100u);
    view.addEntry("entry 100");
    f.queue.runUntilIdle();
    EXPECT_EQ(view.history().entries().size(), 100u);
    EXPECT_EQ(view.history().entries().front().text, "entry 1") << "the oldest is dropped";
    EXPECT_EQ(view.olderLabel()->text(), QStringLiteral("70 older transcripts"));
    EXPECT_EQ(view.rows().back()->entryText(), QStringLiteral("entry 100"));
    // The list is taller than the view: it sits at its bottom, where the newest entry is.
    QScrollBar* bar = view.scrollView()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST(TranscriptViewTest, ShortListIsNotScrolledAndPanelLinkAsksForSettings) {
    uitest::offscreenApp();
    Fixture f;
    f.settings.setHotkeyOption("rightOption");
    TranscriptView view(f.deps());
    view.resize(460, 380);
    view.show();
    int asked = 0;
    auto observer = f.centre.addObserver(notifications::showHotkeySettings, [&](const std::any&) { ++asked; });
    auto* link = view.onboardingContainer()->findChild<QPushButton*>(QStringLiteral("customiseHotkey"));
    ASSERT_NE(link, nullptr);
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(asked, 1);

    view.addEntry("one");
    view.addEntry(std::string(40, 'x') + " wraps over several lines of the row because it is long " +
                  std::string(60, 'y') + " and longer still");
    f.queue.runUntilIdle();
    // Each row is as tall as its wrapped text needs, and the rows do not overlap.
    const auto rows = view.rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1]->height(), rows[1]->heightForWidth(rows[1]->width()));
    EXPECT_GT(rows[1]->height(), rows[0]->height());
    EXPECT_EQ(rows[1]->y(), rows[0]->geometry().bottom() + 1 + 16);
    EXPECT_EQ(view.scrollView()->verticalScrollBar()->value(), 0);

    EXPECT_LT(view.scrollView()->widget()->height(), view.scrollView()->viewport()->height());
}

TEST(TranscriptViewTest, CopyPutsTextOnClipboardAndConfirmsForOneSecond) {
    uitest::offscreenApp();
    Fixture f;
    TranscriptView view(f.deps());
    view.resize(460, 380);
    view.show();
    view.addEntry("copy me");
    f.queue.runUntilIdle();
    ASSERT_EQ(view.rows().size(), 1u);
    TranscriptEntryView* row = view.rows().front();
    CopyGlyphButton* copy = row->copyButton();
    EXPECT_EQ(copy->toolTip(), QStringLiteral("Copy to clipboard"));

    QTest::mouseClick(copy, Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("copy me"));
    EXPECT_TRUE(copy->isCopied());
    EXPECT_EQ(copy->accessibleName(), QStringLiteral("Copied"));
    f.queue.advance(0.6);
    QTest::mouseClick(copy, Qt::LeftButton); // the first click's restore keeps its time
    EXPECT_TRUE(copy->isCopied());
    f.queue.advance(0.41);
    EXPECT_FALSE(copy->isCopied());
    EXPECT_EQ(copy->accessibleName(), QStringLiteral("Copy"));
    f.queue.advance(0.6);
    EXPECT_FALSE(copy->isCopied());
}

// Kept recordings show as "Not sent" rows below the newest entry, even on an otherwise empty history, and their
// "Retry" button names the recording it sends.
TEST(TranscriptViewTest, NotSentRowsStayAtTheBottomAndRetryTheirRecording) {
    uitest::offscreenApp();
    Fixture f;
    std::vector<std::string> retried;
    auto deps = f.deps();
    deps.retryRecording = [&](const std::string& id) { retried.push_back(id); };
    TranscriptView view(deps);
    view.resize(460, 380);
    view.show();
    UnsentRecording newer{"b", "/x/b.wav", std::chrono::system_clock::now(), 12.34, "Server error — try again", 1};
    UnsentRecording older{"a", "/x/a.wav", std::chrono::system_clock::now(), 2.0, "Request timed out — try again", 1};
    view.setUnsent({newer, older});
    EXPECT_TRUE(view.onboardingContainer()->isHidden()) << "a kept recording is history worth showing";
    ASSERT_EQ(view.unsentRows().size(), 2u);
    EXPECT_EQ(view.unsentRows().back()->recordingId(), "b") << "the newest is the last row";
    EXPECT_EQ(UnsentEntryView::describe(newer).toStdString(), "12.3 s recording · Server error — try again");

    view.addEntry("a pasted dictation");
    f.queue.runUntilIdle();
    ASSERT_EQ(view.rows().size(), 1u);
    QWidget* list = view.scrollView()->widget();
    list->layout()->activate();
    EXPECT_LT(view.rows().front()->mapTo(list, QPoint(0, view.rows().front()->height())).y(),
              view.unsentRows().front()->mapTo(list, QPoint(0, 0)).y())
        << "a new transcript goes above the Not sent rows";
    QPushButton* retry = view.unsentRows().back()->retryButton();
    EXPECT_EQ(retry->accessibleName(), "Retry");
    QTest::mouseClick(retry, Qt::LeftButton);
    EXPECT_EQ(retried, std::vector<std::string>{"b"});

    view.setUnsent({});
    EXPECT_TRUE(view.unsentRows().empty());
    EXPECT_EQ(view.rows().size(), 1u);
}
