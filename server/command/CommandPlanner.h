#pragma once
// Rule-based planner: turns a spoken command ("open firefox and then go to github dot com") into actions.
// Stateless and deterministic; any thread.

#include "command/CommandAction.h"

#include <string>
#include <vector>

namespace vokari::server {

class CommandPlanner {
public:
    // Steps it cannot understand are left out; an empty plan is a valid answer.
    static std::vector<CommandAction> plan(const std::string& transcript);

    // One step, already split from its neighbours.
    static std::vector<CommandAction> planStep(const std::vector<std::string>& words);
};

} // namespace vokari::server
