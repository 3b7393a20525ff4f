#pragma once
// Fake desktop services for the command executor: each records what it was asked, with the virtual time.
#include "command/AccessibilityTree.h"
#include "command/AppLauncher.h"
#include "command/AppSwitcher.h"
#include "command/KeyPoster.h"
#include "command/PointerPoster.h"
#include "command/UrlOpener.h"
#include "core/VirtualMainQueue.h"

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vokari::test {

// "t=<ms> what" rows, times relative to the start of the test.
struct DesktopLog {
    explicit DesktopLog(VirtualMainQueue& queue) : queue(queue), start(queue.now()) {}
    VirtualMainQueue& queue;
    double start;
    std::vector<std::string> rows;
    void add(const std::string& what) {
        rows.push_back("t=" + std::to_string(static_cast<long>((queue.now() - start) * 1000 + 0.5)) + " " + what);
    }
};

class FakeApps : public AppSwitcher {
public:
    explicit FakeApps(DesktopLog& log) : log(log) {}
    std::vector<SwitchableApp> running;
    std::optional<std::int64_t> frontmost;
    std::vector<SwitchableApp> runningApplications() override { return running; }
    void activate(const SwitchableApp& app) override { log.add("activate " + app.name.value_or("?")); }
    std::optional<std::int64_t> frontmostPid() override { return frontmost; }
    DesktopLog& log;
};

class FakeLauncher : public AppLauncher {
public:
    explicit FakeLauncher(DesktopLog& log) : log(log) {}
    std::map<std::string, bool> identifiers; // id -> whether its launch succeeds
    std::map<std::string, bool> names;
    bool launchIdentifier(const std::string& id, std::function<void(bool)> done) override {
        return launch(identifiers, "launch id ", id, std::move(done));
    }
    bool launchNamed(const std::string& name, std::function<void(bool)> done) override {
        return launch(names, "launch name ", name, std::move(done));
    }
    DesktopLog& log;

private:
    bool launch(const std::map<std::string, bool>& known, const std::string& what, const std::string& key,
                std::function<void(bool)> done) {
        auto it = known.find(key);
        if (it == known.end()) {
            return false;
        }
        log.add(what + key);
        done(it->second);
        return true;
    }
};

class FakeUrls : public UrlOpener {
public:
    explicit FakeUrls(DesktopLog& log) : log(log) {}
    void open(const std::string& url) override { log.add("open " + url); }
    DesktopLog& log;
};

class FakeKeys : public KeyPoster {
public:
    explicit FakeKeys(DesktopLog& log) : log(log) {}
    bool typeCharacter(const std::string& c) override {
        log.add("type " + c);
        return true;
    }
    bool pressKey(std::uint16_t code, std::uint64_t flags) override {
        char buf[64];
        std::snprintf(buf, sizeof buf, "key %u flags 0x%llx", code, static_cast<unsigned long long>(flags));
        log.add(buf);
        return true;
    }
    DesktopLog& log;
};

class FakePointer : public PointerPoster {
public:
    explicit FakePointer(DesktopLog& log) : log(log) {}
    void press(ScreenPoint p) override { log.add("down " + at(p)); }
    void release(ScreenPoint p) override { log.add("up " + at(p)); }
    DesktopLog& log;

private:
    static std::string at(ScreenPoint p) {
        return std::to_string(static_cast<int>(p.x)) + "," + std::to_string(static_cast<int>(p.y));
    }
};

// A hand-built accessibility node.
class FakeElement : public AccessibleElement {
public:
    std::map<AccessibleText, std::string> texts;
    std::optional<ScreenPoint> origin;
    std::optional<ScreenSize> extent;
    std::vector<std::shared_ptr<AccessibleElement>> kids;

    std::optional<std::string> text(AccessibleText which) override {
        auto it = texts.find(which);
        return it == texts.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    std::optional<ScreenPoint> position() override { return origin; }
    std::optional<ScreenSize> size() override { return extent; }
    std::vector<std::shared_ptr<AccessibleElement>> children() override { return kids; }
};

class FakeTree : public AccessibilityTree {
public:
    std::map<std::int64_t, std::shared_ptr<AccessibleElement>> roots;
    std::shared_ptr<AccessibleElement> applicationElement(std::int64_t pid) override {
        auto it = roots.find(pid);
        return it == roots.end() ? nullptr : it->second;
    }
};

} // namespace vokari::test
