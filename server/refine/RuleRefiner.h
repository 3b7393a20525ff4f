#pragma once
// Deterministic refinement: spoken punctuation, "scratch that", vocabulary spelling and the preset's casing.
// Stateless; any thread. Also the fallback of the LLM refiner.

#include "refine/TextRefiner.h"

namespace vokari::server {

class RuleRefiner final : public TextRefiner {
public:
    std::string name() const override { return "rules"; }
    std::string refine(const RefineInput& input) override { return apply(input); }
    static std::string apply(const RefineInput& input);
};

} // namespace vokari::server
