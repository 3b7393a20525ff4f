#include "RealSpeech.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <spandsp/telephony.h>
// telephony.h must come first: it defines what g722.h's declarations use.
#include <spandsp/g722.h>

namespace vokari::server::test {
namespace {

const std::string kSounds = "/usr/share/asterisk/sounds/en_US_f_Allison/";

std::optional<std::string> slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

std::optional<PcmAudio> asteriskPrompt(const std::string& name, Channel channel) {
    if (channel == Channel::wideband) {
        auto bytes = slurp(kSounds + name + ".g722");
        if (!bytes) {
            return std::nullopt;
        }
        PcmAudio audio;
        audio.samples.resize(bytes->size() * 2); // 64 kbit/s G.722: two samples per byte
        g722_decode_state_t* state = g722_decode_init(nullptr, 64000, 0);
        int n = g722_decode(state, audio.samples.data(), reinterpret_cast<const uint8_t*>(bytes->data()),
                            static_cast<int>(bytes->size()));
        g722_decode_free(state);
        audio.samples.resize(static_cast<size_t>(std::max(0, n)));
        return audio;
    }
    std::string path = kSounds + name + ".wav";
    if (!slurp(path)) {
        return std::nullopt;
    }
    FILE* pipe = popen(("sox '" + path + "' -r 16000 -c 1 -b 16 -e signed-integer -t wav - 2>/dev/null").c_str(), "r");
    std::string wav;
    char buffer[65536];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        wav.append(buffer, n);
    }
    if (pipe == nullptr || pclose(pipe) != 0) {
        return std::nullopt;
    }
    auto parsed = readWav(wav);
    if (auto* audio = std::get_if<PcmAudio>(&parsed)) {
        return std::move(*audio);
    }
    return std::nullopt;
}

std::optional<PcmAudio> pocketsphinxTestRecording(const std::string& relativePath) {
    auto bytes = slurp("/usr/share/pocketsphinx/test/data/" + relativePath);
    if (!bytes) {
        return std::nullopt;
    }
    auto parsed = readWav(*bytes);
    if (auto* audio = std::get_if<PcmAudio>(&parsed)) {
        return std::move(*audio);
    }
    return std::nullopt;
}

} // namespace vokari::server::test
