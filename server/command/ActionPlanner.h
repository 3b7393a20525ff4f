#pragma once
// Turns a spoken command, and the screen it was spoken over, into a plan of actions.
// Called on HTTP worker threads, so implementations are thread-safe. Owned by ServerApp; handlers borrow it.
// Planning never fails: at worst an implementation hands back the rule planner's plan.

#include "command/CommandAction.h"

#include <string>
#include <vector>

namespace vokari::server {

struct PlanInput {
    std::string transcript;
    std::string screenshotBase64; // the "/command" request's screenshot part; may be empty
};

class ActionPlanner {
public:
    virtual ~ActionPlanner() = default;
    virtual std::string name() const = 0;
    virtual std::vector<CommandAction> plan(const PlanInput& input) = 0;
};

} // namespace vokari::server
