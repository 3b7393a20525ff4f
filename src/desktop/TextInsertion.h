#pragma once
// What the dictation controller needs of the text inserter. TextInserter implements it. Main thread.
#include "desktop/RunningApp.h"

#include <optional>
#include <string>

namespace vokari {

class TextInsertion {
public:
    virtual ~TextInsertion() = default;
    virtual void insert(std::string text, std::optional<RunningApp> targetApp) = 0;
};

} // namespace vokari
