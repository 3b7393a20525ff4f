// The command executor on virtual time with fake desktop services: pacing, logging, failures, activation rules
// and the element search.
#include "command/CommandExecutor.h"
#include "CommandExecutorFakes.h"
#include "command/UserCharacters.h"
#include "core/DebugLog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>

namespace vokari {
namespace {

using test::FakeElement;
using ::testing::ElementsAre;

class Lines : public LogSink {
public:
    void log(const std::string& message, const std::string&, const std::string&) override {
        std::lock_guard lock(mutex);
        messages.push_back(message);
    }
    std::mutex mutex;
    std::vector<std::string> messages;
};

CommandAction act(ActionType type) {
    CommandAction a;
    a.type = type;
    return a;
}

std::shared_ptr<FakeElement> element(std::string title, double x = 0, double y = 0, double w = 0, double h = 0) {
    auto e = std::make_shared<FakeElement>();
    if (!title.empty()) {
        e->texts[AccessibleText::title] = std::move(title);
    }
    if (w > 0) {
        e->origin = ScreenPoint{x, y};
        e->extent = ScreenSize{w, h};
    }
    return e;
}

struct ExecutorHarness {
    VirtualMainQueue queue{0.0};
    test::DesktopLog desktop{queue};
    std::shared_ptr<test::FakeApps> apps = std::make_shared<test::FakeApps>(desktop);
    std::shared_ptr<test::FakeLauncher> launcher = std::make_shared<test::FakeLauncher>(desktop);
    std::shared_ptr<test::FakeKeys> keys = std::make_shared<test::FakeKeys>(desktop);
    std::shared_ptr<test::FakePointer> pointer = std::make_shared<test::FakePointer>(desktop);
    std::shared_ptr<test::FakeTree> tree = std::make_shared<test::FakeTree>();
    std::shared_ptr<Lines> log = std::make_shared<Lines>();
    std::shared_ptr<CommandExecutor> executor = CommandExecutor::create(
        queue, {apps, launcher, std::make_shared<test::FakeUrls>(desktop), keys, pointer, tree});
    std::optional<bool> result;
    double finishedAt = -1;

    ExecutorHarness() { debuglog::setSink(log); }
    ~ExecutorHarness() { debuglog::setSink(nullptr); }

    void run(std::vector<CommandAction> actions) {
        executor->execute(std::move(actions), [this](bool ok) {
            result = ok;
            finishedAt = queue.now();
        });
        queue.advance(30);
    }
};

TEST(CommandExecutorTest, PacesStepsLogsEachAndPressesKeysThroughTheTables) {
    ExecutorHarness h;
    h.executor->execute({}, [&](bool ok) { h.result = ok; });
    EXPECT_EQ(h.result, true); // an empty plan completes at once
    EXPECT_TRUE(h.log->messages.empty());

    auto chord = act(ActionType::press_key);
    chord.key = "Return";
    chord.modifiers = std::vector<std::string>{"CMD", "Shift", "cmd", "hyper"};
    auto unknown = act(ActionType::keyboard_shortcut);
    unknown.key = "nosuchkey";
    auto typing = act(ActionType::type_text);
    typing.text = "he\xCC\x81!"; // "é" written as e + combining acute is one character
    auto url = act(ActionType::open_url);
    url.url = "https://example.org/a?b=c";
    h.run({chord, act(ActionType::delay), unknown, typing, url});

    EXPECT_THAT(h.desktop.rows,
                ElementsAre("t=0 key 36 flags 0x120000", "t=350 key 0 flags 0x0", "t=400 type h",
                            "t=405 type e\xCC\x81", "t=410 type !", "t=465 open https://example.org/a?b=c"));
    EXPECT_EQ(h.result, true);
    EXPECT_NEAR(h.finishedAt, 0.515, 1e-9);
    EXPECT_THAT(h.log->messages, ElementsAre("⚡️ Command [1/5]: press_key", "⚡️ Command [2/5]: delay",
                                             "⚡️ Command [3/5]: keyboard_shortcut",
                                             "⚡️ Command [4/5]: type_text", "⚡️ Command [5/5]: open_url"));
}

TEST(CommandExecutorTest, AFailedActionIsLoggedAndThePlanGoesOn) {
    ExecutorHarness h;
    auto badUrl = act(ActionType::open_url);
    badUrl.url = "not a url";
    auto relative = act(ActionType::open_url);
    relative.url = "example.org/page";
    auto press = act(ActionType::press_key);
    press.key = "a";
    auto wait = act(ActionType::delay);
    wait.ms = 20;
    h.run({act(ActionType::activate_app), act(ActionType::type_text), badUrl, relative, wait,
           act(ActionType::click_element), press});

    EXPECT_EQ(h.result, false);
    EXPECT_THAT(h.desktop.rows, ElementsAre("t=270 key 0 flags 0x0"));
    const auto& m = h.log->messages;
    EXPECT_THAT(std::vector<std::string>(m.begin(), m.begin() + 4),
                ElementsAre("⚡️ Command [1/7]: activate_app", "⚠️ Action 1 failed: activate_app",
                            "⚡️ Command [2/7]: type_text", "⚠️ Action 2 failed: type_text"));
    EXPECT_EQ(std::count_if(m.begin(), m.end(), [](const auto& s) { return s.starts_with("⚠️ Action "); }), 5);
}

TEST(CommandExecutorTest, ActivatesByExactNameThenBySubstringThenLaunches) {
    ExecutorHarness h;
    h.apps->running = {{1, 10, std::nullopt},
                       {2, 11, "Firefox Web Browser"},
                       {3, 12, "Text Editor Pro"},
                       {4, 13, "Text Editor"},
                       {5, 14, "Calculator"}};
    h.launcher->identifiers = {{"org.gnome.Maps", true}, {"broken.app", false}};
    h.launcher->names = {{"Files", true}};
    auto activate = [](std::string name) {
        auto a = act(ActionType::activate_app);
        a.app = std::move(name);
        return a;
    };
    h.run({activate("text editor"), activate("fire"), activate("org.gnome.Maps"), activate("Files"),
           activate("broken.app"), activate("nothing at all")});

    EXPECT_THAT(h.desktop.rows, ElementsAre("t=0 activate Text Editor", "t=350 activate Firefox Web Browser",
                                            "t=700 launch id org.gnome.Maps", "t=1250 launch name Files",
                                            "t=1800 launch id broken.app"));
    EXPECT_EQ(h.result, false);
    EXPECT_TRUE(std::find(h.log->messages.begin(), h.log->messages.end(), "⚠️ Action 5 failed: activate_app") !=
                h.log->messages.end());
    EXPECT_NEAR(h.finishedAt, 2.4, 1e-9); // the last one fails at once, at 2.35 s
}

TEST(CommandExecutorTest, FindsTheOuterElementFirstWithinTenLevelsAndClicksItsCentre) {
    // depth 0 (application) .. depth 10; only the element at depth 10 is named "Deep".
    auto root = element("app");
    auto node = root;
    for (int depth = 1; depth <= 10; ++depth) {
        auto child = element(depth == 10 ? "Deep" : depth == 9 ? "Nine" : "", 0, 0, 10, 10);
        node->kids.push_back(child);
        node = child;
    }
    EXPECT_FALSE(CommandExecutor::findElementPosition(*root, "deep"));
    EXPECT_TRUE(CommandExecutor::findElementPosition(*root, "nine"));

    // The outer "Send all" wins over the inner exact "Send"; a match without extents is passed over; the role
    // description is read last.
    auto window = element("Mail");
    auto noExtent = element("Send later");
    auto outer = element("Send all", 100, 200, 50, 20);
    outer->kids.push_back(element("Send", 0, 0, 10, 10));
    auto byRole = element("", 10, 10, 4, 6);
    byRole->texts[AccessibleText::roleDescription] = "push button";
    window->kids = {noExtent, outer, byRole};

    ExecutorHarness h;
    h.tree->roots[42] = window;
    auto click = [](std::string what) {
        auto a = act(ActionType::click_element);
        a.description = std::move(what);
        return a;
    };
    h.run({click("SEND")});
    h.apps->frontmost = 42;
    h.result.reset();
    h.run({click("SEND"), click("Push"), click("Nowhere")});

    EXPECT_THAT(h.desktop.rows,
                ElementsAre("t=30000 down 125,210", "t=30050 up 125,210", "t=30100 down 12,13", "t=30150 up 12,13"));
    EXPECT_EQ(h.result, false);
    EXPECT_EQ(h.log->messages[1], "⚠️ No frontmost app for click_element");
    EXPECT_TRUE(std::find(h.log->messages.begin(), h.log->messages.end(),
                          "⚠️ Could not find UI element: Nowhere") != h.log->messages.end());
}

TEST(UserCharactersTest, SplitsIntoWhatTheUserSeesAsOneCharacter) {
    EXPECT_THAT(UserCharacters::split("h\xC3\xA9llo \xE2\x9C\x93"),
                ElementsAre("h", "\xC3\xA9", "l", "l", "o", " ", "\xE2\x9C\x93"));
    // Flags pair up, skin tones and zero-width joins stay attached, CR LF is one, bad bytes become U+FFFD.
    const std::string de = "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA";
    const std::string thumb = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";
    const std::string couple = "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA9";
    EXPECT_THAT(UserCharacters::split(de + de + thumb + couple + "\r\n\xFF" + "a"),
                ElementsAre(de, de, thumb, couple, "\r\n", "\xEF\xBF\xBD", "a"));
    EXPECT_TRUE(UserCharacters::split("").empty());
}

} // namespace
} // namespace vokari
