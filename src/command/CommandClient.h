#pragma once
// Posts a command recording and its screenshot to "/command" and turns the answer into a CommandResult.
// Stateless apart from its wiring; any thread; the completion runs on the transport's worker thread (or before
// sendCommand returns when no URL can be formed). The app's wiring builds it from the backend client's origin,
// identifier and transport.
#include "command/CommandService.h"
#include "http/HttpTransport.h"

#include <memory>
#include <string>

namespace vokari {

class CommandClient : public CommandService {
public:
    CommandClient(std::shared_ptr<HttpTransport> transport, std::string baseURL, std::string deviceId);

    void sendCommand(std::vector<std::uint8_t> audioData, std::string screenshotBase64, Completion completion) override;
    // How an answer to "/command" becomes a result (logs as it goes).
    static CommandResult resultFor(const HttpResult& answer);

private:
    std::shared_ptr<HttpTransport> transport;
    std::string baseURL;
    std::string deviceId;
};

} // namespace vokari
