#pragma once
// Guesses a CMU-phone pronunciation for a word the dictionary lacks, by English spelling rules.
// Pure function, any thread. Good enough to let the decoder hear a user's vocabulary term, not a full g2p.

#include <string>

namespace vokari::server {

// "kubernetes" → "K UW B ER N EH T IY Z"-like string; empty when the word has no letters.
std::string guessPhones(const std::string& word);

} // namespace vokari::server
