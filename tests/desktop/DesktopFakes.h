#pragma once
// Test doubles for the desktop interfaces: a scripted key source, and a pasteboard, key synthesiser, workspace
// and trust check that write what happens, with the virtual time, into one shared timeline. Owned by the test.
#include "RecordingSink.h"
#include "core/MainQueue.h"
#include "desktop/AccessibilityTrust.h"
#include "desktop/InputSynthesizer.h"
#include "desktop/KeyEventSource.h"
#include "desktop/Pasteboard.h"
#include "desktop/Workspace.h"

#include <optional>
#include <string>
#include <vector>

namespace vokari::testing {

using LogCapture = vokari::test::RecordingSink;

class FakeKeySource : public KeyEventSource {
public:
    bool trusted = true;
    bool installable = true;
    int trustRequests = 0;
    Handler handler;

    bool isTrusted() override { return trusted; }
    void requestTrust() override { ++trustRequests; }
    bool install(Handler h) override {
        if (!installable) {
            return false;
        }
        handler = std::move(h);
        return true;
    }
    void remove() override { handler = nullptr; }

    void send(KeyEventType type, std::uint16_t code, std::uint64_t flags = 0) {
        if (handler) {
            handler(KeyEvent{type, code, flags});
        }
    }
};

struct Timeline {
    struct Entry {
        double at;
        std::string what;
    };
    explicit Timeline(MainQueue& queue) : queue(queue) {}
    void add(std::string what) { entries.push_back({queue.now(), std::move(what)}); }
    MainQueue& queue;
    std::vector<Entry> entries;
};

class FakePasteboard : public Pasteboard {
public:
    explicit FakePasteboard(Timeline& timeline) : timeline(timeline) {}
    void setString(const std::string& text) override {
        content = text;
        timeline.add("copy " + text);
    }
    Timeline& timeline;
    std::string content;
};

class FakeInput : public InputSynthesizer {
public:
    explicit FakeInput(Timeline& timeline) : timeline(timeline) {}
    bool postKey(std::uint16_t keyCode, std::uint64_t flags) override {
        if (!works) {
            return false;
        }
        timeline.add("key " + std::to_string(keyCode) + " flags " + std::to_string(flags));
        if (onPost) {
            onPost(keyCode);
        }
        return true;
    }
    Timeline& timeline;
    bool works = true;
    std::function<void(std::uint16_t)> onPost;
};

// Activation takes effect `activationLatency` seconds after it is asked for (never when negative).
class FakeWorkspace : public Workspace {
public:
    FakeWorkspace(Timeline& timeline, MainQueue& queue) : timeline(timeline), queue(queue) {}
    std::optional<RunningApp> frontmostApplication() override {
        if (pending && activationLatency >= 0 && queue.now() >= pendingSince + activationLatency - 1e-9) {
            frontmost = *pending;
            pending.reset();
        }
        return frontmost;
    }
    bool isTerminated(const RunningApp& app) override { return app.pid == terminatedPid; }
    void activate(const RunningApp& app) override {
        timeline.add("activate " + std::to_string(app.windowId));
        pending = app;
        pendingSince = queue.now();
    }
    Timeline& timeline;
    MainQueue& queue;
    std::optional<RunningApp> frontmost;
    std::optional<RunningApp> pending;
    double pendingSince = 0;
    double activationLatency = 0;
    std::int64_t terminatedPid = -1;
};

class FakeTrust : public AccessibilityTrust {
public:
    bool trusted = true;
    bool isProcessTrusted() override { return trusted; }
};

} // namespace vokari::testing
