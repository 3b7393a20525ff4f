#pragma once
// Strict reading of a plan that came from outside the server (a chat model's answer): only the seven action
// types, only the fields each type uses and with the right JSON types, required fields present, http(s) URLs
// only, at most kMaxActions actions, and delays capped. Whatever fails is dropped, never repaired by guessing.
// Pure functions; any thread.

#include "command/CommandAction.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <vector>

namespace vokari::server {

struct ValidatedPlan {
    std::vector<CommandAction> actions;
    size_t dropped = 0;   // elements that were not a usable action
    size_t truncated = 0; // usable actions cut off after kMaxActions
    bool cappedDelay = false;
};

class PlanValidator {
public:
    static constexpr size_t kMaxActions = 20;
    // One wait is at most 10 s and a plan waits at most 30 s in all: a plan is meant to run while the user
    // watches, and a model that asks for minutes of waiting has misread the command.
    static constexpr int64_t kMaxDelayMs = 10'000;
    static constexpr int64_t kMaxTotalDelayMs = 30'000;
    // Longer strings drop their action: the client types 200 characters a second, and no spoken command asks
    // for pages of text.
    static constexpr size_t kMaxFieldBytes = 4000;
    // The client's wait when a delay has no "ms".
    static constexpr int64_t kDefaultDelayMs = 300;

    // `actions` must be a JSON array; nullopt when it is not.
    static std::optional<ValidatedPlan> validate(const nlohmann::json& actions);

    // One element; nullopt when it is not a usable action. Delays are capped to kMaxDelayMs here; the plan-wide
    // total is applied by validate().
    static std::optional<CommandAction> readAction(const nlohmann::json& element);
};

} // namespace vokari::server
