#pragma once
// Sends a command recording and its screenshot to the backend. CommandClient implements it.
// Callable from any thread; the completion may run on any thread.
#include "command/CommandResult.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vokari {

class CommandService {
public:
    using Completion = std::function<void(CommandResult)>;
    virtual ~CommandService() = default;
    virtual void sendCommand(std::vector<std::uint8_t> audioData, std::string screenshotBase64,
                             Completion completion) = 0;
};

} // namespace vokari
