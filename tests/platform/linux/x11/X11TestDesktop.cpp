#include "X11TestDesktop.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <fstream>
#include <thread>

namespace vokari::testing {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& step) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) {
            return true;
        }
        if (step) {
            step();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return done();
}

bool displayAnswers(const std::string& display) {
    Display* dpy = XOpenDisplay(display.c_str());
    if (dpy) {
        XCloseDisplay(dpy);
    }
    return dpy != nullptr;
}

namespace {
bool hasWindowManager(const std::string& display) {
    Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) {
        return false;
    }
    Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool ok = XGetWindowProperty(dpy, DefaultRootWindow(dpy), check, 0, 1, False, AnyPropertyType, &type, &format,
                                 &count, &after, &data) == Success &&
              count == 1;
    if (data) {
        XFree(data);
    }
    XCloseDisplay(dpy);
    return ok;
}
} // namespace

std::string X11TestDesktop::start() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vokari-x11-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
        return "mkdtemp failed";
    }
    runtimeDir = tmpl;
    std::filesystem::permissions(runtimeDir, std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
    // openbox keeps a log under the cache directory: keep it out of the real home.
    ::setenv("XDG_CACHE_HOME", (runtimeDir / "cache").c_str(), 1);

    // Servers started at the same moment by parallel tests can race for one display number; the loser exits
    // after reporting it. Only a server that is still running and answers counts.
    for (int attempt = 0; attempt < 5 && displayName.empty(); ++attempt) {
        xvfb.stop();
        if (!xvfb.start({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"},
                        true)) {
            return "cannot start Xvfb";
        }
        auto number = xvfb.readLine(std::chrono::seconds(15));
        if (number && !number->empty() &&
            waitUntil([&] { return displayAnswers(":" + *number) || !xvfb.running(); }, std::chrono::seconds(10)) &&
            xvfb.running()) {
            displayName = ":" + *number;
        }
    }
    if (displayName.empty()) {
        return "Xvfb did not come up";
    }
    ::setenv("DISPLAY", displayName.c_str(), 1);

    if (!dbus.start({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=3"}, true)) {
        return "cannot start dbus-daemon";
    }
    auto address = dbus.readLine(std::chrono::seconds(10));
    if (!address || address->empty()) {
        return "dbus-daemon did not report an address";
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address->c_str(), 1);

    if (auto error = startPulse(); !error.empty()) {
        return error;
    }

    // -noreset above matters here: without it Xvfb resets itself when its last client (the probe above) leaves
    // and refuses connections meanwhile. openbox is still given a few tries in case it starts in such a gap.
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (!openbox.start({"openbox", "--sm-disable"})) {
            return "cannot start openbox";
        }
        if (waitUntil([&] { return hasWindowManager(displayName) || !openbox.running(); }, std::chrono::seconds(15)) &&
            hasWindowManager(displayName)) {
            return {};
        }
        openbox.stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return "openbox did not take over the display " + displayName +
           +(xvfb.running() ? " (Xvfb running" : " (Xvfb gone") +
           (displayAnswers(displayName) ? ", display answers)" : ", display does not answer)");
}

std::string X11TestDesktop::startPulse() {
    const auto socket = runtimeDir / "pulse.sock";
    const auto script = runtimeDir / "test.pa";
    {
        std::ofstream pa(script);
        pa << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << socket.string() << "\n"
           << "load-module module-null-sink sink_name=spk\n"
           << "set-default-sink spk\n";
    }
    if (!pulse.start({"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "-F", script.string()})) {
        return "cannot start pulseaudio";
    }
    if (!waitUntil([&] { return std::filesystem::exists(socket) || !pulse.running(); }, std::chrono::seconds(15)) ||
        !pulse.running()) {
        return "pulseaudio did not start";
    }
    ::setenv("PULSE_SERVER", ("unix:" + socket.string()).c_str(), 1);
    return {};
}

void X11TestDesktop::stop() {
    displayName.clear();
    pulse.stop();
    openbox.stop();
    dbus.stop();
    xvfb.stop();
    if (!runtimeDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(runtimeDir, ec);
        runtimeDir.clear();
    }
}

} // namespace vokari::testing
