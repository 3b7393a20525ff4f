#pragma once
// Real recorded English speech for the accuracy tests: Asterisk's English prompts (one professional voice)
// from the Debian packages asterisk-core-sounds-en-g722 (wideband) and -wav (8 kHz telephone audio), and
// the audiobook sentences of pocketsphinx-testdata (another voice).
// Used on the test thread only.

#include "audio/WavReader.h"

#include <optional>
#include <string>

namespace vokari::server::test {

enum class Channel { wideband, telephone };

// The prompt `name` (e.g. "conf-getpin") as 16 kHz audio; nullopt when the package is not installed.
// Wideband prompts are G.722 decoded with spandsp; telephone prompts are 8 kHz, upsampled with sox.
std::optional<PcmAudio> asteriskPrompt(const std::string& name, Channel channel);

// A 16 kHz WAV recording from Debian's pocketsphinx-testdata (e.g. "librivox/....wav"); nullopt if missing.
std::optional<PcmAudio> pocketsphinxTestRecording(const std::string& relativePath);

} // namespace vokari::server::test
