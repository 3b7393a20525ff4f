#pragma once
// The spoken command language the planner understands, as a JSGF grammar for the decoder's biased pass,
// and the rule that picks between the grammar pass and the open-vocabulary pass.
// Pure functions, any thread.

#include <functional>
#include <string>

namespace vokari::server {

// Builds the grammar from the built-in phrase lists, keeping only words `known` accepts (the decoder's
// dictionary), since a grammar with an unknown word fails to load.
std::string commandGrammarJsgf(const std::function<bool(const std::string&)>& known);

// Chooses the transcript of a command: the grammar result when it is close to what the open pass heard
// (it fixes near misses like "open fire fox"), the open result for free text ("type …") or when the speech
// is plainly outside the grammar. `understood` tells whether the planner can act on a text.
std::string chooseCommandTranscript(const std::string& grammarText, const std::string& openText,
                                    const std::function<bool(const std::string&)>& understood = nullptr);

// Word-level edit distance.
size_t wordDistance(const std::string& a, const std::string& b);

} // namespace vokari::server
