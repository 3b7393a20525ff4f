#pragma once
// Carries out a command plan on the desktop, one action after another. Main thread; the completion is told
// true when every action succeeded. The command executor implements it.
#include "command/CommandAction.h"

#include <functional>
#include <vector>

namespace vokari {

class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    virtual void execute(std::vector<CommandAction> actions, std::function<void(bool)> completion) = 0;
};

} // namespace vokari
