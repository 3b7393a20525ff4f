// The rule-based command planner, one table row per phrase shape.
#include "command/CommandPlanner.h"
#include "stt/CommandGrammar.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace vokari::server;
using nlohmann::json;

TEST(ServerCommandPlanner, Table) {
    const std::pair<const char*, const char*> rows[] = {
        {"open firefox", R"([{"type":"activate_app","app":"Firefox"}])"},
        {"launch the terminal app", R"([{"type":"activate_app","app":"Terminal"}])"},
        {"switch to chrome", R"([{"type":"activate_app","app":"Google Chrome"}])"},
        {"go to github dot com", R"([{"type":"open_url","url":"https://github.com"}])"},
        {"open example dot co dot uk", R"([{"type":"open_url","url":"https://example.co.uk"}])"},
        {"go to youtube", R"([{"type":"open_url","url":"https://youtube.com"}])"},
        {"visit news.ycombinator.com", R"([{"type":"open_url","url":"https://news.ycombinator.com"}])"},
        {"type hello comma world", R"([{"type":"type_text","text":"hello, world"}])"},
        {"write see you and then press enter",
         R"([{"type":"type_text","text":"see you"},{"type":"press_key","key":"enter"}])"},
        {"press f five", R"([{"type":"press_key","key":"f5"}])"},
        {"control c", R"([{"type":"keyboard_shortcut","key":"c","modifiers":["control"]}])"},
        {"command shift t", R"([{"type":"keyboard_shortcut","key":"t","modifiers":["command","shift"]}])"},
        {"press control plus see", R"([{"type":"keyboard_shortcut","key":"c","modifiers":["control"]}])"},
        {"click on the send button", R"([{"type":"click_element","description":"send button"}])"},
        {"wait three seconds", R"([{"type":"delay","ms":3000}])"},
        {"wait 2 seconds", R"([{"type":"delay","ms":2000}])"},
        {"wait", R"([{"type":"delay","ms":1000}])"},
        {"search for cheap flights", R"([{"type":"open_url","url":"https://www.google.com/search?q=cheap+flights"}])"},
        {"open slack and then wait two seconds and then type good morning and then press enter",
         R"([{"type":"activate_app","app":"Slack"},{"type":"delay","ms":2000},
             {"type":"type_text","text":"good morning"},{"type":"press_key","key":"enter"}])"},
        {"open firefox then go to reddit dot com",
         R"([{"type":"activate_app","app":"Firefox"},{"type":"open_url","url":"https://reddit.com"}])"},
        {"type salt and pepper", R"([{"type":"type_text","text":"salt and pepper"}])"},
        {"please open mail please", R"([{"type":"activate_app","app":"Mail"}])"},
        {"what a lovely day", "[]"},
        {"", "[]"},
        {"press banana", "[]"},
    };
    for (const auto& [spoken, expected] : rows) {
        SCOPED_TRACE(spoken);
        EXPECT_EQ(actionsToJson(CommandPlanner::plan(spoken)), json::parse(expected));
    }
}

TEST(ServerCommandGrammar, ChoosesTheGrammarOnlyForNearMisses) {
    EXPECT_EQ(chooseCommandTranscript("open firefox", "open fire fox"), "open firefox");
    EXPECT_EQ(chooseCommandTranscript("press control c", "press control see"), "press control c");
    EXPECT_EQ(chooseCommandTranscript("open files", "type hello there"), "type hello there");
    EXPECT_EQ(chooseCommandTranscript("click send", "the weather is nice in paris today"),
              "the weather is nice in paris today");
    auto understood = [](const std::string& t) { return !CommandPlanner::plan(t).empty(); };
    EXPECT_EQ(chooseCommandTranscript("open firefox", "they opened fire fox", understood), "open firefox");
    EXPECT_EQ(chooseCommandTranscript("click send", "the weather is nice in paris today", understood),
              "the weather is nice in paris today");
    EXPECT_EQ(chooseCommandTranscript("open files", "open the blender app", understood), "open the blender app");
    EXPECT_EQ(chooseCommandTranscript("", "open mail"), "open mail");
    EXPECT_EQ(chooseCommandTranscript("open mail", ""), "open mail");
    auto grammar = commandGrammarJsgf([](const std::string& w) { return w != "firefox"; });
    EXPECT_NE(grammar.find("public <command>"), std::string::npos);
    EXPECT_EQ(grammar.find("firefox"), std::string::npos);
}
