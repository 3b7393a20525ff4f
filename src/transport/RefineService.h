#pragma once
// What the dictation controller needs of the backend client. RefineClient implements it.
// process() may be called from any thread; its completion may run on any thread.
#include "transport/ProcessResult.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vokari {

class RefineService {
public:
    using ProcessCompletion = std::function<void(ProcessResult)>;
    virtual ~RefineService() = default;
    virtual bool isConfigured() const = 0;
    virtual void process(std::vector<std::uint8_t> audioData, std::string source, ProcessCompletion completion) = 0;
};

} // namespace vokari
