#pragma once
// Outcome of a command request: the service's plan, or a message for the user.
#include "command/CommandAction.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vokari {

struct CommandResponse {
    std::string transcript;
    std::vector<CommandAction> actions;
    std::int64_t whisperMs = 0;
    std::int64_t planMs = 0;
    std::int64_t totalMs = 0;
};

struct CommandSuccess {
    CommandResponse response;
};
struct CommandError {
    std::string message;
};

using CommandResult = std::variant<CommandSuccess, CommandError>;

} // namespace vokari
