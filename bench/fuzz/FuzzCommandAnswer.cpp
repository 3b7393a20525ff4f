// The app reading the answer to a spoken command ("/command"). Input: the first byte picks the status, the rest is
// the body. Every action read from a plan must survive the keyed encoding and decoding unchanged.
#include "FuzzSupport.h"
#include "QuietLog.h"
#include "command/CommandActionJson.h"
#include "command/CommandClient.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr int statuses[] = {200, 200, 200, 400, 429, 500, 503, 504};
    vokari::fuzz::quietLog();
    if (size == 0) {
        return 0;
    }
    vokari::HttpResponse answer{statuses[data[0] % 8], std::string(vokari::fuzz::bytesOf(data + 1, size - 1))};
    auto result = vokari::CommandClient::resultFor(answer);
    if (auto* success = std::get_if<vokari::CommandSuccess>(&result)) {
        for (const auto& action : success->response.actions) {
            auto decoded = vokari::CommandActionJson::decode(nlohmann::json(vokari::CommandActionJson::encode(action)));
            if (!decoded || !(*decoded == action)) {
                std::abort();
            }
        }
    }
    return 0;
}
