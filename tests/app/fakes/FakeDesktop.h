#pragma once
// One recording stand-in for every collaborator of the dictation controller, and its log sink: each call becomes
// a line of one journal ("sound Blow", "ui error: Too short", "log ..."), so a test checks what happened and in
// which order. Requests, plans and alerts keep their completions for the test to answer. Any thread; owned by
// the test through a shared_ptr.
#include "app/DesktopServices.h"
#include "app/Indicator.h"
#include "audio/AudioCapture.h"
#include "command/CommandRunner.h"
#include "command/CommandService.h"
#include "command/ScreenGrabber.h"
#include "core/DebugLog.h"
#include "desktop/HotkeyMonitor.h"
#include "desktop/TextInsertion.h"
#include "desktop/Workspace.h"
#include "transport/RefineService.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <utility>
#include <vector>

namespace vokari::fakes {

class FakeDesktop : public AudioCapture,
                    public HotkeyMonitor,
                    public Indicator,
                    public RefineService,
                    public CommandService,
                    public CommandRunner,
                    public ScreenGrabber,
                    public Workspace,
                    public TextInsertion,
                    public SoundPlayer,
                    public AlertPresenter,
                    public TranscriptSink,
                    public LogSink {
public:
    bool configured = true;
    std::optional<bool> startOutcome = true; // reported from inside startCapture; nullopt: by reportStart later
    std::optional<std::string> screenshot = "iVBORw0KGgo=";
    std::optional<RunningApp> frontmost = RunningApp{0x2a00007, 4242, "XTerm", std::string("xterm")};
    std::vector<float> levels;
    std::vector<ProcessCompletion> dictations;
    std::vector<Completion> commands;
    std::vector<std::pair<std::vector<CommandAction>, std::function<void(bool)>>> plans;
    std::vector<std::function<void()>> alertDismissals;
    // When true, openStream() hands out a stream: "stream open", "stream finish <bytes streamed> of <WAV size>"
    // (its completion joins `dictations`) and "stream abort".
    bool streams = false;
    std::size_t samplesAtStop = 0;

    // The lines that begin with `prefix`: all() every one so far, take() those added since the previous take().
    std::vector<std::string> all(const std::string& prefix) const { return select(prefix, 0); }
    std::vector<std::string> take(const std::string& prefix = "") {
        return select(prefix, std::exchange(taken, select("", 0).size()));
    }
    // A buffer as the capture thread delivers it, on the caller's thread; its level is |value|.
    void deliver(std::size_t samples, float value = 0.25f) {
        AudioBuffer16k buffer;
        buffer.samples.assign(samples, value);
        onAudioBuffer(buffer);
    }
    void reportStart(bool ok) {
        if (onCaptureStarted) {
            onCaptureStarted(ok);
        }
    }

    bool startCapture() override {
        add("capture start");
        if (startOutcome && onCaptureStarted) {
            onCaptureStarted(*startOutcome);
        }
        return startOutcome.value_or(false);
    }
    void stopCapture() override {
        add("capture stop");
        if (samplesAtStop > 0) { // the partly filled last block, handed over by the stop itself
            deliver(std::exchange(samplesAtStop, 0));
        }
    }
    void start() override { add("hotkey start"); }
    void stop() override { add("hotkey stop"); }
    void updateOption(HotkeyOption option) override { add("hotkey option " + std::to_string(int(option))); }
    void showIndicator() override { add("ui show"); }
    void hideIndicator() override { add("ui hide"); }
    void showProcessing() override { add("ui processing"); }
    void showError(const std::string& message) override { add("ui error: " + message); }
    void pushLevel(float level) override { levels.push_back(level); }
    void setMaxDuration(double seconds) override { add("ui max " + std::to_string(int(seconds))); }
    bool isConfigured() const override { return configured; }
    void process(std::vector<std::uint8_t> audio, std::string source, ProcessCompletion done) override {
        add("send " + source + " " + std::to_string(audio.size()));
        dictations.push_back(std::move(done));
    }
    std::shared_ptr<ProcessStream> openStream(std::string source) override {
        if (!streams) {
            return nullptr;
        }
        add("stream open " + source);
        return std::make_shared<Stream>(*this);
    }
    void sendCommand(std::vector<std::uint8_t> audio, std::string shot, Completion done) override {
        add("send command " + std::to_string(audio.size()) + " + " + shot);
        commands.push_back(std::move(done));
    }
    void execute(std::vector<CommandAction> actions, std::function<void(bool)> done) override {
        add("run " + std::to_string(actions.size()) + " actions");
        plans.emplace_back(std::move(actions), std::move(done));
    }
    std::optional<std::string> captureScreenBase64() override {
        add("screenshot");
        return screenshot;
    }
    std::optional<RunningApp> frontmostApplication() override { return frontmost; }
    bool isTerminated(const RunningApp&) override { return false; }
    void activate(const RunningApp&) override {}
    void insert(std::string text, std::optional<RunningApp> target) override {
        add("paste " + text + " -> " + (target ? target->windowClass : "nowhere"));
    }
    void play(const std::string& name) override { add("sound " + name); }
    void showAlert(const std::string& title, const std::string& message, std::function<void()> onDismiss) override {
        add("alert " + title + " " + message);
        alertDismissals.push_back(std::move(onDismiss));
    }
    void pushTranscript(const std::string& text) override { add("history " + text); }
    void log(const std::string& message, const std::string&, const std::string&) override { add("log " + message); }

private:
    struct Stream : ProcessStream {
        explicit Stream(FakeDesktop& d) : owner(d) {}
        void appendAudio(std::string_view pcm) override { bytes += pcm.size(); } // one audio thread at a time
        void finish(std::vector<std::uint8_t> wav, ProcessCompletion done) override {
            owner.add("stream finish " + std::to_string(bytes) + " of " + std::to_string(wav.size()));
            owner.dictations.push_back(std::move(done));
        }
        void abort() override { owner.add("stream abort"); }
        FakeDesktop& owner;
        std::size_t bytes = 0;
    };

    std::vector<std::string> select(const std::string& prefix, std::size_t from) const {
        std::lock_guard lock(mutex);
        std::vector<std::string> out;
        std::copy_if(journal.begin() + from, journal.end(), std::back_inserter(out),
                     [&](const std::string& line) { return line.starts_with(prefix); });
        return out;
    }
    void add(std::string line) {
        std::lock_guard lock(mutex);
        journal.push_back(std::move(line));
    }
    mutable std::mutex mutex;
    std::vector<std::string> journal;
    std::size_t taken = 0;
};

} // namespace vokari::fakes
