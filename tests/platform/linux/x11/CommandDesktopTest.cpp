// Command actions on a real, private X server: typing ASCII and other Unicode into a Qt window, a Control chord,
// activation of a running window by its class, launching desktop entries by id and by name, a URL reaching
// its scheme's default handler, and a button clicked by its accessible name through AT-SPI.
#include "X11TestDesktop.h"

#include "app/qt/CommandDesktopFactory.h"
#include "core/VirtualMainQueue.h"
#include "platform/linux/gio/DesktopEntries.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11Workspace.h"

#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace vokari {
namespace {

using testing::ChildProcess;
using testing::waitUntil;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

class DesktopEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        desktop = std::make_unique<testing::X11TestDesktop>();
        failure = desktop->start();
        if (failure.empty()) {
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            // The accessibility bus, so windows this test starts expose their controls as to a screen reader.
            if (!accessibilityBus.start({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"})) {
                failure = "no AT-SPI bus launcher";
            }
            ::setenv("QT_ACCESSIBILITY", "0", 1); // this process itself stays off the bus
            app = std::make_unique<QApplication>(argc, argv);
        }
    }
    void TearDown() override {
        app.reset();
        accessibilityBus.stop();
        desktop.reset();
    }
    static inline std::string failure;
    static inline std::unique_ptr<QApplication> app;
    static inline std::unique_ptr<testing::X11TestDesktop> desktop;
    static inline ChildProcess accessibilityBus;

private:
    int argc = 1;
    char name[16] = "x11_command";
    char* argv[2] = {name, nullptr};
};
const auto* const registered = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

std::string readFile(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

CommandAction action(ActionType type, std::string value = {}, std::vector<std::string> modifiers = {}) {
    CommandAction a;
    a.type = type;
    switch (type) {
    case ActionType::activate_app:
        a.app = value;
        break;
    case ActionType::type_text:
        a.text = value;
        break;
    case ActionType::press_key:
    case ActionType::keyboard_shortcut:
        a.key = value;
        a.modifiers = modifiers;
        break;
    case ActionType::click_element:
        a.description = value;
        break;
    case ActionType::open_url:
        a.url = value;
        break;
    case ActionType::delay:
        break;
    }
    return a;
}

struct CommandHarness {
    VirtualMainQueue queue;
    std::shared_ptr<x11::X11Connection> connection = std::make_shared<x11::X11Connection>();
    std::shared_ptr<x11::X11Workspace> workspace = std::make_shared<x11::X11Workspace>(connection);
    std::shared_ptr<CommandExecutor> executor = CommandDesktopFactory::makeExecutor(queue, connection, workspace);
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();

    // Qt's events run and the virtual clock follows real time.
    void pump() {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(2ms);
        auto now = std::chrono::steady_clock::now();
        queue.advance(std::chrono::duration<double>(now - std::exchange(last, now)).count());
    }
    std::optional<bool> run(std::vector<CommandAction> plan) {
        std::optional<bool> result;
        executor->execute(std::move(plan), [&](bool ok) { result = ok; });
        waitUntil([&] { return result.has_value(); }, 30s, [&] { pump(); });
        return result;
    }
    bool inFront(const ChildProcess& child) {
        auto front = workspace->frontmostApplication();
        return front && front->pid == child.pid();
    }
    bool startInFront(ChildProcess& child, const std::vector<std::string>& argv) {
        return child.start(argv) && waitUntil([&] { return inFront(child); }, 15s, [&] { pump(); });
    }
};

#define REQUIRE_DESKTOP() ASSERT_TRUE(DesktopEnvironment::failure.empty()) << DesktopEnvironment::failure

TEST(CommandExecutorOnX11, TypesUnicodeChordsAndActivatesRunningWindows) {
    REQUIRE_DESKTOP();
    CommandHarness h;
    const fs::path editorFile = fs::path(::testing::TempDir()) / "vokari-command-editor.txt";
    const fs::path otherFile = fs::path(::testing::TempDir()) / "vokari-command-other.txt";
    fs::remove(editorFile);
    fs::remove(otherFile);
    ChildProcess editor;
    ASSERT_TRUE(h.startInFront(editor, {VOKARI_PASTE_TARGET, editorFile.string(), "VokariEditor"}));

    EXPECT_EQ(h.run({action(ActionType::type_text, "Hi there, 42!"),
                     action(ActionType::type_text, " h\xC3\xA9llo \xE2\x9C\x93")}),
              true);
    EXPECT_TRUE(waitUntil([&] { return readFile(editorFile) == "Hi there, 42! h\xC3\xA9llo \xE2\x9C\x93"; }, 5s,
                          [&] { h.pump(); }))
        << readFile(editorFile);

    // "cmd" is the shortcut modifier: Control+A selects everything, and the typed text replaces it.
    EXPECT_EQ(h.run({action(ActionType::keyboard_shortcut, "A", {"cmd"}), action(ActionType::type_text, "new")}), true);
    EXPECT_TRUE(waitUntil([&] { return readFile(editorFile) == "new"; }, 5s, [&] { h.pump(); }))
        << readFile(editorFile);

    ChildProcess other;
    ASSERT_TRUE(h.startInFront(other, {VOKARI_PASTE_TARGET, otherFile.string(), "VokariOther"}));
    // Named by its window class (no desktop entry owns it), matched ignoring case.
    EXPECT_EQ(h.run({action(ActionType::activate_app, "vokarieditor"), action(ActionType::press_key, "return"),
                     action(ActionType::type_text, "back")}),
              true);
    EXPECT_TRUE(waitUntil([&] { return readFile(editorFile) == "new\nback"; }, 5s, [&] { h.pump(); }))
        << readFile(editorFile);
    EXPECT_EQ(readFile(otherFile), "");
}

TEST(CommandExecutorOnX11, LaunchesDesktopEntriesAndOpensUrlsWithTheirHandler) {
    REQUIRE_DESKTOP();
    // Desktop entries and the scheme's default handler live in the test's own XDG directories.
    const fs::path data = std::getenv("XDG_DATA_HOME");
    const fs::path config = std::getenv("XDG_CONFIG_HOME");
    const fs::path record = fs::path(::testing::TempDir()) / "vokari-command-launches.txt";
    const fs::path handler = data / "vokari-record.sh";
    fs::remove(record);
    writeFile(handler, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + record.string() + "'\n");
    fs::permissions(handler, fs::perms::owner_all);
    const auto entry = [&](const std::string& name, const std::string& argument, const std::string& extra) {
        return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + handler.string() + " " + argument +
               "\n" + extra;
    };
    writeFile(data / "applications/org.vokari.ById.desktop", entry("By Id", "by-id", ""));
    writeFile(data / "applications/vokari-named.desktop", entry("Vokari Launch Test", "by-name", ""));
    writeFile(data / "applications/vokari-url.desktop",
              entry("URL Handler", "%u", "MimeType=x-scheme-handler/vokari-test;\nNoDisplay=true\n"));
    writeFile(config / "mimeapps.list", "[Default Applications]\nx-scheme-handler/vokari-test=vokari-url.desktop\n");

    CommandHarness h;
    // GIO notices new entries through a file monitor once it has read the folder (an earlier test did).
    platform_linux::DesktopEntries entries;
    ASSERT_TRUE(
        waitUntil([&] { return entries.nameForWindowClass("org.vokari.ById") == "By Id"; }, 10s, [&] { h.pump(); }));
    EXPECT_EQ(h.run({action(ActionType::activate_app, "org.vokari.ById"),
                     action(ActionType::activate_app, "vokari launch test"),
                     action(ActionType::open_url, "vokari-test://open?x=1"),
                     action(ActionType::activate_app, "no such application anywhere")}),
              false);
    auto lines = [&] { return readFile(record); };
    EXPECT_TRUE(waitUntil(
        [&] {
            auto text = lines();
            return text.find("by-id\n") != std::string::npos && text.find("by-name\n") != std::string::npos &&
                   text.find("vokari-test://open?x=1\n") != std::string::npos;
        },
        10s, [&] { h.pump(); }))
        << lines();
}

TEST(CommandExecutorOnX11, ClicksAButtonFoundByItsAccessibleNameAndTakesAScreenshot) {
    REQUIRE_DESKTOP();
    CommandHarness h;
    const fs::path file = fs::path(::testing::TempDir()) / "vokari-command-button.txt";
    fs::remove(file);
    ::setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
    ::setenv("QT_ACCESSIBILITY", "1", 1);
    ChildProcess target;
    const bool started = h.startInFront(target, {VOKARI_PASTE_TARGET, file.string(), "VokariButton", "--button"});
    ::setenv("QT_ACCESSIBILITY", "0", 1);
    ::unsetenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");
    ASSERT_TRUE(started);

    // The window registers on the accessibility bus a moment after it shows.
    std::optional<bool> clicked;
    waitUntil([&] { return (clicked = h.run({action(ActionType::click_element, "SEND")})) == true; }, 15s,
              [&] { h.pump(); });
    EXPECT_EQ(clicked, true);
    EXPECT_TRUE(waitUntil([&] { return readFile(file) == "[sent]"; }, 5s, [&] { h.pump(); })) << readFile(file);
    EXPECT_EQ(h.run({action(ActionType::click_element, "no control is called this")}), false);

    // The private screen is 1280 wide: captured as it is.
    auto shot = CommandDesktopFactory::makeScreenCapture()->captureScreenBase64();
    ASSERT_TRUE(shot);
    const QImage image = QImage::fromData(QByteArray::fromBase64(QByteArray::fromStdString(*shot)), "JPEG");
    EXPECT_EQ(image.size(), QSize(1280, 800));
}

} // namespace
} // namespace vokari
