#include "command/CommandExecutor.h"

#include "command/CommandKeys.h"
#include "command/UserCharacters.h"
#include "core/DebugLog.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vokari {

struct CommandExecutor::Plan {
    std::vector<CommandAction> actions;
    std::function<void(bool)> completion;
    bool failed = false;
};

std::shared_ptr<CommandExecutor> CommandExecutor::create(MainQueue& queue, Desktop desktop) {
    return std::shared_ptr<CommandExecutor>(new CommandExecutor(queue, std::move(desktop)));
}

CommandExecutor::CommandExecutor(MainQueue& queue, Desktop desktop) : queue(queue), desktop(std::move(desktop)) {}

void CommandExecutor::later(double seconds, std::function<void(CommandExecutor&)> fn) {
    queue.postAfter(seconds, [weak = weak_from_this(), fn = std::move(fn)] {
        if (auto self = weak.lock()) {
            fn(*self);
        }
    });
}

void CommandExecutor::execute(std::vector<CommandAction> actions, std::function<void(bool)> completion) {
    if (actions.empty()) {
        if (completion) {
            completion(true);
        }
        return;
    }
    auto plan = std::make_shared<Plan>(Plan{std::move(actions), std::move(completion), false});
    executeStep(std::move(plan), 0);
}

void CommandExecutor::executeStep(std::shared_ptr<Plan> plan, std::size_t index) {
    if (index >= plan->actions.size()) {
        if (plan->completion) {
            plan->completion(!plan->failed);
        }
        return;
    }
    const CommandAction& action = plan->actions[index];
    const std::string number = std::to_string(index + 1);
    const std::string type(rawValue(action.type));
    debugLog("⚡️ Command [" + number + "/" + std::to_string(plan->actions.size()) + "]: " + type);
    const bool wasDelay = action.type == ActionType::delay;
    performAction(action, [this, plan, index, number, type, wasDelay](bool ok) {
        if (!ok) {
            debugLog("⚠️ Action " + number + " failed: " + type);
            plan->failed = true;
        }
        later(wasDelay ? 0.0 : kStepGap, [plan, index](CommandExecutor& self) { self.executeStep(plan, index + 1); });
    });
}

void CommandExecutor::performAction(const CommandAction& action, Report report) {
    switch (action.type) {
    case ActionType::activate_app:
        if (!action.app) {
            return report(false);
        }
        return activateApp(*action.app, std::move(report));
    case ActionType::type_text:
        if (!action.text || !desktop.keys) {
            return report(false);
        }
        return typeText(std::make_shared<std::vector<std::string>>(UserCharacters::split(*action.text)), 0,
                        std::move(report), queue.now());
    case ActionType::press_key:
    case ActionType::keyboard_shortcut:
        if (!action.key || !desktop.keys) {
            return report(false);
        }
        pressKey(*action.key, action.modifiers.value_or(std::vector<std::string>{}));
        return report(true);
    case ActionType::click_element:
        if (!action.description) {
            return report(false);
        }
        return clickElement(*action.description, std::move(report));
    case ActionType::open_url:
        if (!action.url || !isOpenableUrl(*action.url) || !desktop.urls) {
            return report(false);
        }
        desktop.urls->open(*action.url);
        return report(true);
    case ActionType::delay: {
        // A negative wait is no wait.
        const std::int64_t ms = action.ms.value_or(kDefaultDelayMs);
        later(ms > 0 ? static_cast<double>(ms) / 1000.0 : 0.0, [report](CommandExecutor&) { report(true); });
        return;
    }
    }
    report(false);
}

void CommandExecutor::activateApp(const std::string& name, Report report) {
    if (desktop.apps) {
        const std::string wanted = CommandKeys::lowered(name);
        const auto running = desktop.apps->runningApplications();
        const auto named = [&](auto matches) {
            return std::find_if(running.begin(), running.end(), [&](const SwitchableApp& app) {
                return app.name && matches(CommandKeys::lowered(*app.name));
            });
        };
        auto found = named([&](const std::string& lower) { return lower == wanted; });
        if (found == running.end()) {
            found = named([&](const std::string& lower) { return lower.find(wanted) != std::string::npos; });
        }
        if (found != running.end()) {
            desktop.apps->activate(*found);
            later(kActivationSettle, [report](CommandExecutor&) { report(true); });
            return;
        }
    }
    if (!desktop.launcher) {
        return report(false);
    }
    // The launcher may finish on another thread; the report always comes from the main queue.
    auto settle = [weak = weak_from_this(), report](bool launched) {
        if (auto self = weak.lock()) {
            self->later(kLaunchSettle, [report, launched](CommandExecutor&) { report(launched); });
        }
    };
    if (desktop.launcher->launchIdentifier(name, settle)) {
        return;
    }
    if (!desktop.launcher->launchNamed(name, settle)) {
        report(false);
    }
}

void CommandExecutor::typeText(std::shared_ptr<std::vector<std::string>> characters, std::size_t index, Report report,
                               double startedAt) {
    if (index >= characters->size()) {
        return report(true);
    }
    // A character that cannot be posted is skipped; typing goes on.
    desktop.keys->typeCharacter((*characters)[index]);
    // Paced against the start, so the time the loop takes between characters does not add up over a long text.
    const double due = startedAt + static_cast<double>(index + 1) * kCharacterGap;
    later(std::max(0.0, due - queue.now()), [characters, index, report, startedAt](CommandExecutor& self) {
        self.typeText(characters, index + 1, report, startedAt);
    });
}

void CommandExecutor::pressKey(const std::string& key, const std::vector<std::string>& modifiers) {
    desktop.keys->pressKey(CommandKeys::keyCodeForName(key), CommandKeys::flagsForModifiers(modifiers));
}

void CommandExecutor::clickElement(const std::string& description, Report report) {
    const auto pid = desktop.apps ? desktop.apps->frontmostPid() : std::nullopt;
    if (!pid) {
        debugLog("⚠️ No frontmost app for click_element");
        return report(false);
    }
    std::optional<ScreenPoint> point;
    if (desktop.accessibility && desktop.pointer) {
        if (auto root = desktop.accessibility->applicationElement(*pid)) {
            point = findElementPosition(*root, CommandKeys::lowered(description));
        }
    }
    if (!point) {
        debugLog("⚠️ Could not find UI element: " + description);
        return report(false);
    }
    clickAtPoint(*point, std::move(report));
}

void CommandExecutor::clickAtPoint(ScreenPoint point, Report report) {
    desktop.pointer->press(point);
    later(kClickHold, [point, report](CommandExecutor& self) {
        self.desktop.pointer->release(point);
        report(true);
    });
}

std::optional<ScreenPoint> CommandExecutor::findElementPosition(AccessibleElement& element, const std::string& query,
                                                                int depth) {
    if (depth >= kSearchDepthLimit) {
        return std::nullopt;
    }
    constexpr std::array kOrder = {AccessibleText::title, AccessibleText::description, AccessibleText::value,
                                   AccessibleText::roleDescription};
    for (AccessibleText which : kOrder) {
        const auto text = element.text(which);
        if (!text || CommandKeys::lowered(*text).find(query) == std::string::npos) {
            continue;
        }
        const auto position = element.position();
        const auto size = element.size();
        if (position && size) {
            return ScreenPoint{position->x + size->width / 2, position->y + size->height / 2};
        }
    }
    for (const auto& child : element.children()) {
        if (!child) {
            continue;
        }
        if (auto found = findElementPosition(*child, query, depth + 1)) {
            return found;
        }
    }
    return std::nullopt;
}

bool CommandExecutor::isOpenableUrl(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size()) {
        return false;
    }
    const auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!isAlpha(text[0])) {
        return false;
    }
    for (std::size_t i = 1; i < colon; ++i) {
        const char c = text[i];
        if (!isAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    for (char c : text) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

} // namespace vokari
