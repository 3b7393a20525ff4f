#include "audio/WavReader.h"

#include <cstring>

namespace vokari::server {
namespace {

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const unsigned char* p) {
    return uint16_t(p[0] | p[1] << 8);
}

void put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
}
void put16(std::string& s, uint16_t v) {
    s.push_back(static_cast<char>(v & 0xff));
    s.push_back(static_cast<char>(v >> 8));
}

} // namespace

std::variant<PcmAudio, WavError> readWav(std::string_view bytes) {
    if (bytes.empty()) {
        return WavError{"empty audio"};
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    if (n < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) {
        return WavError{"audio is not a WAV file"};
    }
    bool haveFmt = false;
    size_t pos = 12;
    while (pos + 8 <= n) {
        const unsigned char* chunk = p + pos;
        uint32_t size = le32(chunk + 4);
        size_t body = pos + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || body + size > n) {
                return WavError{"WAV format chunk is truncated"};
            }
            uint16_t format = le16(p + body);
            uint16_t channels = le16(p + body + 2);
            uint32_t rate = le32(p + body + 4);
            uint16_t bits = le16(p + body + 14);
            // WAVE_FORMAT_EXTENSIBLE carries the real format in its sub-format GUID's first two bytes.
            if (format == 0xFFFE && size >= 40) {
                format = le16(p + body + 24);
            }
            if (format != 1) {
                return WavError{"audio must be PCM WAV (format " + std::to_string(format) + " given)"};
            }
            if (channels != 1) {
                return WavError{"audio must be mono (" + std::to_string(channels) + " channels given)"};
            }
            if (rate != 16000) {
                return WavError{"audio must be sampled at 16000 Hz (" + std::to_string(rate) + " Hz given)"};
            }
            if (bits != 16) {
                return WavError{"audio must be 16-bit PCM (" + std::to_string(bits) + "-bit given)"};
            }
            haveFmt = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFmt) {
                return WavError{"WAV data chunk comes before its format chunk"};
            }
            if (body + size > n) {
                return WavError{"WAV file is truncated: the data chunk declares " + std::to_string(size) +
                                " bytes but " + std::to_string(n - body) + " are present"};
            }
            if (size % 2 != 0) {
                return WavError{"WAV data chunk holds an odd number of bytes"};
            }
            if (size == 0) {
                return WavError{"empty audio"};
            }
            PcmAudio audio;
            audio.samples.resize(size / 2);
            for (size_t i = 0; i < audio.samples.size(); ++i) {
                audio.samples[i] = static_cast<int16_t>(le16(p + body + 2 * i));
            }
            return audio;
        }
        // Chunks are padded to an even length.
        pos = body + size + (size & 1u);
    }
    return WavError{haveFmt ? "WAV file has no data chunk (truncated?)" : "WAV file has no format chunk"};
}

std::string encodeWav(const std::vector<int16_t>& samples, int sampleRate, int channels) {
    std::string out;
    uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    out.reserve(44 + dataBytes);
    out += "RIFF";
    put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 1);
    put16(out, static_cast<uint16_t>(channels));
    put32(out, static_cast<uint32_t>(sampleRate));
    put32(out, static_cast<uint32_t>(sampleRate * channels * 2));
    put16(out, static_cast<uint16_t>(channels * 2));
    put16(out, 16);
    out += "data";
    put32(out, dataBytes);
    for (int16_t s : samples) {
        put16(out, static_cast<uint16_t>(s));
    }
    return out;
}

} // namespace vokari::server
