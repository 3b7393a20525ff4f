// The app reading the answer to a dictation ("/process"). Input: the first byte picks the status, the rest is the
// body.
#include "FuzzSupport.h"
#include "QuietLog.h"
#include "transport/RefineClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr int statuses[] = {200, 200, 200, 400, 413, 429, 500, 503};
    vokari::fuzz::quietLog();
    if (size == 0) {
        return 0;
    }
    vokari::HttpResponse answer{statuses[data[0] % 8], std::string(vokari::fuzz::bytesOf(data + 1, size - 1))};
    vokari::RefineClient::processResultFor(answer);
    return 0;
}
