#pragma once
// The Home tab's list of past dictations, newest at the bottom, or a short panel naming the hotkey while the
// history is empty. Loads the recent history from the backend at creation and appends every pasted dictation.
// Every change rebuilds the rows from scratch (at most 30 of them). Main thread, except addEntry (any thread).
// The settings, centre and queue must outlive it.
#include "app/KeptRecordings.h"
#include "core/MainQueue.h"
#include "core/NotificationCenter.h"
#include "core/Settings.h"
#include "ui/TranscriptHistory.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace vokari {

class TranscriptEntryView;
class UnsentEntryView;

class TranscriptView : public QWidget {
public:
    // Asks the backend for the newest history page; the answer (empty on any failure) arrives on the main queue.
    using HistoryFetcher = std::function<void(std::function<void(std::vector<Transcript>)> done)>;
    struct Dependencies {
        const Settings& settings;
        NotificationCenter& notificationCenter;
        MainQueue& mainQueue;
        HistoryFetcher fetchHistory; // may be empty: no backend history
        // Recordings whose request failed, shown as "Not sent" rows below the newest entry; may be absent.
        std::shared_ptr<KeptRecordings> keptRecordings = nullptr;
        std::function<void(const std::string& id)> retryRecording = nullptr;
    };

    explicit TranscriptView(Dependencies deps, QWidget* parent = nullptr);
    ~TranscriptView() override;

    // Appends a dictation dated now; any thread.
    void addEntry(const std::string& text);
    void openHotkeySettings();

    const TranscriptHistory& history() const { return entries; }
    QScrollArea* scrollView() const { return scroll; }
    QWidget* onboardingContainer() const { return onboarding; }
    // The "N older transcripts" label of the current list, or null.
    QLabel* olderLabel() const;
    const std::vector<TranscriptEntryView*>& rows() const { return rowViews; }
    // The "Not sent" rows, oldest first (the newest is the last row of the list).
    const std::vector<UnsentEntryView*>& unsentRows() const { return unsentViews; }
    // Replaces the "Not sent" rows (newest first, as the keeper lists them); main thread.
    void setUnsent(const std::vector<UnsentRecording>& recordings);

    // ISO 8601 with or without fractional seconds.
    static std::optional<TranscriptHistory::Clock::time_point> parseDate(const std::string& iso);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildOnboarding();
    void loadHistory();
    void rebuild();
    void sizeContainer();
    void scrollToNewest();

    const Settings& settings;
    NotificationCenter& notificationCenter;
    MainQueue& mainQueue;
    HistoryFetcher fetchHistory;
    TranscriptHistory entries;

    QScrollArea* scroll = nullptr;
    QWidget* container = nullptr;
    QVBoxLayout* column = nullptr;
    QWidget* onboarding = nullptr;
    QLabel* older = nullptr;
    // The shown rows, oldest first; kept across rebuilds and given new entries, which looks the same as new rows.
    std::vector<TranscriptEntryView*> rowViews;
    std::function<void(const std::string& id)> retryRecording;
    std::vector<UnsentRecording> unsent;
    QWidget* unsentBox = nullptr; // after the rows, so "Not sent" stays at the bottom
    QVBoxLayout* unsentColumn = nullptr;
    std::vector<UnsentEntryView*> unsentViews;
    Subscription unsentSubscription;
    // Lets completions and cross-thread appends find out that the view is gone.
    std::shared_ptr<TranscriptView*> alive;
};

} // namespace vokari
