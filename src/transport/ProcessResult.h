#pragma once
// Outcome of a dictation processing request: the texts, a message ready for the user, or the daily limit.
#include <optional>
#include <string>
#include <variant>

namespace vokari {

struct ProcessSuccess {
    std::optional<std::string> raw;
    std::optional<std::string> refined;
};
struct ProcessError {
    std::string message;
};
struct ProcessRateLimited {};

using ProcessResult = std::variant<ProcessSuccess, ProcessError, ProcessRateLimited>;

} // namespace vokari
