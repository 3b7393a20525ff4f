#pragma once
// Turns hotkey presses into recordings, recordings into backend requests, and answers into pasted text or
// executed command plans; drives AppState through idle → listening → processing → idle. Main thread, except the
// audio callback installed by setupAudio. Owned by the application delegate through a shared_ptr (create()).
#include "app/AppState.h"
#include "app/DesktopServices.h"
#include "app/DictationSession.h"
#include "app/Indicator.h"
#include "app/RecordingKeeper.h"
#include "audio/AudioCapture.h"
#include "command/CommandResult.h"
#include "command/CommandRunner.h"
#include "command/CommandService.h"
#include "command/ScreenGrabber.h"
#include "core/MainQueue.h"
#include "core/NotificationCenter.h"
#include "core/Settings.h"
#include "core/Subscription.h"
#include "desktop/HotkeyMonitor.h"
#include "desktop/RunningApp.h"
#include "desktop/TextInsertion.h"
#include "desktop/Workspace.h"
#include "transport/ProcessResult.h"
#include "transport/RefineService.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vokari {

class DictationController : public std::enable_shared_from_this<DictationController> {
public:
    // Every collaborator may be absent; calls to an absent one are skipped. The queue, the state and the
    // notification centre must outlive the controller and every callback it installs.
    struct Dependencies {
        MainQueue& mainQueue;
        AppState& appState;
        Settings settings;
        NotificationCenter& notificationCenter;
        std::shared_ptr<RefineService> refineService;
        std::shared_ptr<CommandService> commandService;
        std::shared_ptr<CommandRunner> commandRunner;
        std::shared_ptr<ScreenGrabber> screenGrabber;
        std::shared_ptr<Workspace> workspace;
        std::shared_ptr<SoundPlayer> soundPlayer;
        std::shared_ptr<AlertPresenter> alertPresenter;
        // The main view's history, reached through the main window, which may not exist (yet).
        std::function<TranscriptSink*()> transcriptSink;
        // Keeps the recordings whose request failed, and hands them back for a retry; absent: none is kept.
        std::shared_ptr<RecordingKeeper> recordingKeeper = nullptr;
    };

    static constexpr double doubleTapThreshold = 0.4;
    static constexpr double maxDictationSeconds = 300.0;
    static constexpr double minRecordingSeconds = 0.3;
    static constexpr double errorResetDelay = 2.5;
    static constexpr double dismissResetDelay = 2.0;
    static constexpr double actionStartDelay = 0.2;
    static constexpr std::size_t logExcerptLength = 60;
    static constexpr const char* kCaptureLost = "Microphone lost — try again";
    static constexpr const char* kCaptureLostSending = "Microphone lost — sending what was heard";
    static constexpr const char* kNoBackend = "No backend configured";

    static std::shared_ptr<DictationController> create(Dependencies deps);
    ~DictationController();
    DictationController(const DictationController&) = delete;
    DictationController& operator=(const DictationController&) = delete;

    // Wiring, once at start-up, in this order. The delegate creates the components; the controller keeps them.
    void setupAudio(std::shared_ptr<AudioCapture> capture);
    void setupDictation(std::shared_ptr<TextInsertion> inserter, std::shared_ptr<Indicator> indicator,
                        std::shared_ptr<HotkeyMonitor> hotkey);

    void toggleDictation();
    void startDictation();
    void stopDictation();
    void stopCommandRecording();
    void cancelDictation();
    // Sends a kept recording again, only when idle; its text goes through the usual answer path into the
    // application focused now. A success lets the keeper discard it; a failure or a cancel leaves it kept.
    void retryRecording(const std::string& keptId);

    // Does nothing while the "soundFeedback" setting is off.
    void playSound(const std::string& name);
    // onDismiss runs once the user has closed the alert (at once when no presenter exists).
    void showAlert(const std::string& title, const std::string& message, std::function<void()> onDismiss = {});

    // The app must end in the middle of a recording for a reason the user did not choose (the display went away):
    // what was recorded so far is kept for a retry instead of being discarded as at a quit.
    void keepRecordingInProgress(const std::string& reason);
    // Application termination: keeps the recordings still awaiting an answer, stops the hotkey, the max-duration
    // timer and capture.
    void shutdown();

private:
    // The recording in progress and its stream to the backend (when one is open), shared with the audio thread,
    // which appends to both under this small lock, so the stream carries exactly the samples of the WAV.
    struct SessionSlot {
        std::mutex mutex;
        std::shared_ptr<DictationSession> session;
        std::shared_ptr<ProcessStream> stream;
    };

    explicit DictationController(Dependencies deps);
    void observeMenuNotifications();

    std::shared_ptr<DictationSession> sessionInProgress() const;
    // Replaces the recording in progress; a stream left in the slot is given up (the backend keeps nothing).
    void setCurrentSession(std::shared_ptr<DictationSession> session, std::shared_ptr<ProcessStream> stream = nullptr);
    // Gives the recording in progress a stream, starting with the audio it already holds.
    void attachStream(std::shared_ptr<ProcessStream> stream);
    void abandonStream();
    bool backendConfigured() const;
    void stopFromToggle();
    void cancelMaxDurationTimer();
    // Stops the timer and capture and takes the recording in progress (absent when none). Its stream is handed
    // to `keepStream` when given, else given up.
    std::shared_ptr<DictationSession> endRecording(std::shared_ptr<ProcessStream>* keepStream = nullptr);

    // Hold mode: capture from the key going down, kept if it becomes a hold, dropped if it comes up sooner.
    void beginHoldCapture();
    void abandonHoldCapture();
    // Clears onCaptureStarted, which may be the handler running now: it is destroyed on a later turn of the queue.
    void retireCaptureStartedHandler();
    void handleCaptureStarted(bool ok);
    // Capture ended for good in the middle of a recording (the engine's restarts ran out).
    void handleCaptureLost();
    void handleMaxDuration();
    // An error the recording cannot get past (too short, nothing to send to): Basso, the message, then idle.
    void rejectRecording(const std::string& message);
    void sendKeptRecording(const std::string& keptId, std::vector<std::uint8_t> wav);
    // Before the generation check: a failed request keeps its recording even when a newer one superseded it.
    void settleSentDictation(std::uint64_t generation, const ProcessResult& result);
    // At quit: the answers still awaited will never be seen, so their recordings are kept.
    void keepUnanswered();
    void handleProcessResult(std::uint64_t generation, const std::optional<RunningApp>& target,
                             const ProcessResult& result);
    void handleCommandResult(std::uint64_t generation, const CommandResult& result);
    void executeActionsLater(std::vector<CommandAction> actions);
    void scheduleDelayedReset(double delay, std::uint64_t generation, bool hideAfterwards);
    bool newerRecordingInProgress() const;

    void showIndicator();
    void hideIndicator();
    void showProcessing();
    void showError(const std::string& message);
    void pushTranscript(const std::string& text);

    MainQueue& mainQueue;
    AppState& appState;
    Settings settings;
    NotificationCenter& notificationCenter;
    std::shared_ptr<RefineService> refineService;
    std::shared_ptr<CommandService> commandService;
    std::shared_ptr<CommandRunner> commandRunner;
    std::shared_ptr<ScreenGrabber> screenGrabber;
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<SoundPlayer> soundPlayer;
    std::shared_ptr<AlertPresenter> alertPresenter;
    std::function<TranscriptSink*()> transcriptSink;
    std::shared_ptr<RecordingKeeper> recordingKeeper;

    std::shared_ptr<AudioCapture> audioCapture;
    std::shared_ptr<HotkeyMonitor> globalHotkey;
    std::shared_ptr<TextInsertion> textInserter;
    std::shared_ptr<Indicator> dictationIndicator;

    std::shared_ptr<SessionSlot> currentSession = std::make_shared<SessionSlot>();
    std::uint64_t dictationGeneration = 0;
    std::optional<TaskHandle> maxDurationTimer;
    bool isCommandMode = false;
    double lastToggleTime = 0;
    std::optional<RunningApp> dictationTargetApp;
    bool holdCapturePending = false;        // beginHoldCapture's capture, not yet taken over by a start
    std::optional<bool> holdCaptureOutcome; // its start outcome, when that came first
    // Ordinary dictations awaiting their answer, by generation: the recording (to keep it if the request fails)
    // or, for a retry, the kept recording's id. A cancel takes its entry out, so a cancelled request keeps nothing.
    struct SentDictation {
        std::shared_ptr<DictationSession> session;
        std::string keptId;
    };
    std::map<std::uint64_t, SentDictation> sentDictations;
    // The stream whose answer is awaited: a cancel gives it up, so no fallback request follows.
    std::shared_ptr<ProcessStream> answeringStream;

    Subscription hotkeyChangedObserver;
    Subscription startDictationObserver;
    Subscription cancelDictationObserver;
};

} // namespace vokari
