#pragma once
// What the dictation controller needs of the backend client. RefineClient implements it.
// process() may be called from any thread; its completion may run on any thread.
#include "transport/ProcessResult.h"
#include "transport/ProcessStream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vokari {

class RefineService {
public:
    using ProcessCompletion = std::function<void(ProcessResult)>;
    virtual ~RefineService() = default;
    virtual bool isConfigured() const = 0;
    virtual void process(std::vector<std::uint8_t> audioData, std::string source, ProcessCompletion completion) = 0;
    // A stream for a dictation that starts recording now (main thread); nothing when streams are not used, and
    // then the recording goes to process() when it ends.
    virtual std::shared_ptr<ProcessStream> openStream(std::string source) {
        (void)source;
        return nullptr;
    }
};

} // namespace vokari
