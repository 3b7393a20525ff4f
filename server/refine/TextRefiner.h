#pragma once
// Turns raw transcribed text into the text the user gets, in the style of their preset.
// Called from HTTP worker threads; implementations are thread-safe. Owned by ServerApp.
// Refinement never fails: at worst it hands back a rule-based result.

#include <string>
#include <vector>

namespace vokari::server {

struct RefineInput {
    std::string text;
    std::string preset = "professional"; // professional, casual, minimal, custom
    std::string customPrompt;
    std::vector<std::string> vocabulary;
};

class TextRefiner {
public:
    virtual ~TextRefiner() = default;
    virtual std::string name() const = 0;
    virtual std::string refine(const RefineInput& input) = 0;
};

} // namespace vokari::server
