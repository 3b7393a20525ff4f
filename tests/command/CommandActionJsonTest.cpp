// Reading plan elements leniently, and the keyed encoding and strict decoding of CommandAction.
#include "command/CommandActionJson.h"

#include <gtest/gtest.h>

namespace vokari {
namespace {

using nlohmann::json;

CommandAction only(ActionType type) {
    CommandAction a;
    a.type = type;
    return a;
}

std::optional<CommandAction> element(const char* text) {
    return CommandActionJson::fromPlanElement(json::parse(text));
}

TEST(CommandActionJson, PlanElementsNeedAnExactTypeAndDropOnlyMistypedFields) {
    auto delay = element(R"({"type":"delay"})");
    ASSERT_TRUE(delay);
    EXPECT_EQ(*delay, only(ActionType::delay));
    EXPECT_FALSE(delay->ms);

    EXPECT_FALSE(element(R"({"type":"Delay"})"));
    EXPECT_FALSE(element(R"({"type":"scroll"})"));
    EXPECT_FALSE(element(R"({"type":7})"));
    EXPECT_FALSE(element(R"({"app":"Mail"})"));
    EXPECT_FALSE(element(R"(["type","delay"])"));

    auto key = element(R"({"type":"press_key","key":"return","modifiers":["cmd",1]})");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->key, "return");
    EXPECT_FALSE(key->modifiers) << "a list holding a number yields no modifiers at all";

    auto full = element(R"({"type":"keyboard_shortcut","app":"Mail","text":"hi","key":"n","modifiers":["cmd","shift"],
                           "description":"Send button","url":"https://x.test","ms":250,"extra":true})");
    ASSERT_TRUE(full);
    EXPECT_EQ(*full, (CommandAction{ActionType::keyboard_shortcut, "Mail", "hi", "n",
                                    std::vector<std::string>{"cmd", "shift"}, "Send button", "https://x.test", 250}));

    auto mistyped = element(R"({"type":"open_url","url":42,"ms":"300","app":null,"text":["a"]})");
    ASSERT_TRUE(mistyped);
    EXPECT_EQ(*mistyped, only(ActionType::open_url));
    EXPECT_EQ(element(R"({"type":"delay","ms":250.0})")->ms, 250);
    EXPECT_FALSE(element(R"({"type":"delay","ms":2.5})")->ms);
}

TEST(CommandActionJson, KeyedCodingRoundTripsAndDecodingIsStrict) {
    CommandAction full{ActionType::click_element,  "Safari", std::nullopt, std::nullopt,
                       std::vector<std::string>{}, "Reload", std::nullopt, 0};
    auto encoded = CommandActionJson::encode(full);
    EXPECT_EQ(encoded.dump(),
              R"({"type":"click_element","app":"Safari","modifiers":[],"description":"Reload","ms":0})");
    EXPECT_EQ(CommandActionJson::decode(json::parse(encoded.dump())), full);
    EXPECT_EQ(CommandActionJson::encode(only(ActionType::delay)).dump(), R"({"type":"delay"})");

    EXPECT_FALSE(CommandActionJson::decode(json::parse(R"({"app":"Mail"})")));
    EXPECT_FALSE(CommandActionJson::decode(json::parse(R"({"type":"DELAY"})")));
    EXPECT_FALSE(CommandActionJson::decode(json::parse(R"({"type":"delay","ms":"300"})")));
    EXPECT_FALSE(CommandActionJson::decode(json::parse(R"({"type":"press_key","modifiers":["cmd",1]})")));
    auto withNull = CommandActionJson::decode(json::parse(R"({"type":"type_text","text":null})"));
    ASSERT_TRUE(withNull);
    EXPECT_FALSE(withNull->text);
}

} // namespace
} // namespace vokari
