#pragma once
// Carries out a command plan on the desktop: one action after another on the main queue, 0.05 s apart (no gap
// after a delay), each failure logged and remembered while the rest of the plan still runs. Typing, clicks and
// launches are paced on the main queue rather than by sleeping, so a long plan never freezes the app.
// Main thread. The app's wiring gives it the platform's desktop services; a missing service fails its actions.
#include "command/AccessibilityTree.h"
#include "command/AppLauncher.h"
#include "command/AppSwitcher.h"
#include "command/CommandRunner.h"
#include "command/KeyPoster.h"
#include "command/PointerPoster.h"
#include "command/UrlOpener.h"
#include "core/MainQueue.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vokari {

class CommandExecutor : public CommandRunner, public std::enable_shared_from_this<CommandExecutor> {
public:
    struct Desktop {
        std::shared_ptr<AppSwitcher> apps;
        std::shared_ptr<AppLauncher> launcher;
        std::shared_ptr<UrlOpener> urls;
        std::shared_ptr<KeyPoster> keys;
        std::shared_ptr<PointerPoster> pointer;
        std::shared_ptr<AccessibilityTree> accessibility;
    };

    static constexpr double kStepGap = 0.05;
    static constexpr double kActivationSettle = 0.3;
    static constexpr double kLaunchSettle = 0.5;
    static constexpr double kCharacterGap = 0.005;
    static constexpr double kClickHold = 0.05;
    static constexpr std::int64_t kDefaultDelayMs = 300;
    static constexpr int kSearchDepthLimit = 10;

    static std::shared_ptr<CommandExecutor> create(MainQueue& queue, Desktop desktop);

    // Returns at once; `completion` runs once on the main queue with whether every action succeeded.
    void execute(std::vector<CommandAction> actions, std::function<void(bool)> completion) override;

    // Depth-first: an element is tested (title, description, value, role description) before its children;
    // elements deeper than 9 below `element` are not examined. Centre of the first match with a position and size.
    static std::optional<ScreenPoint> findElementPosition(AccessibleElement& element, const std::string& query,
                                                          int depth = 0);
    // Absolute URL with a scheme and no blanks or control characters.
    static bool isOpenableUrl(std::string_view text);

private:
    using Report = std::function<void(bool)>;
    struct Plan;

    CommandExecutor(MainQueue& queue, Desktop desktop);

    void executeStep(std::shared_ptr<Plan> plan, std::size_t index);
    void performAction(const CommandAction& action, Report report);
    void activateApp(const std::string& name, Report report);
    void typeText(std::shared_ptr<std::vector<std::string>> characters, std::size_t index, Report report,
                  double startedAt);
    void pressKey(const std::string& key, const std::vector<std::string>& modifiers);
    void clickElement(const std::string& description, Report report);
    void clickAtPoint(ScreenPoint point, Report report);
    // Runs `fn` on the main queue after `seconds` while this executor lives.
    void later(double seconds, std::function<void(CommandExecutor&)> fn);

    MainQueue& queue;
    Desktop desktop;
};

} // namespace vokari
