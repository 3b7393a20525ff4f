#include "app/DictationSession.h"

#include "core/Uuid.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vokari {
namespace {

void put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void encodeSamples(std::uint8_t* p, std::span<const float> samples) {
    const std::size_t n = samples.size();
    const float* in = samples.data();
    for (std::size_t i = 0; i < n; ++i) {
        float x = in[i];
        x = (x == x) ? x : 0.0f; // NaN becomes silence
        x = std::min(std::max(x, -1.0f), 1.0f);
        // Truncation toward zero, never rounding: -32768 cannot occur.
        auto v = static_cast<std::int16_t>(x * 32767.0f);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(p + 2 * i, &v, 2); // lets the compiler vectorise the loop
        } else {
            put16(p + 2 * i, static_cast<std::uint16_t>(v));
        }
    }
}

void encodeInto(std::uint8_t* out, std::span<const float> samples) {
    const auto dataSize = static_cast<std::uint32_t>(samples.size() * 2);
    std::copy_n("RIFF", 4, out);
    put32(out + 4, 36 + dataSize);
    std::copy_n("WAVEfmt ", 8, out + 8);
    put32(out + 16, 16);
    put16(out + 20, 1);     // integer PCM
    put16(out + 22, 1);     // mono
    put32(out + 24, 16000); // sample rate
    put32(out + 28, 32000); // byte rate
    put16(out + 32, 2);     // block alignment
    put16(out + 34, 16);    // bits per sample
    std::copy_n("data", 4, out + 36);
    put32(out + 40, dataSize);
    encodeSamples(out + 44, samples);
}

} // namespace

DictationSession::DictationSession() : sessionId(makeUuidString()) {}

void DictationSession::appendSamples(std::span<const float> more) {
    std::lock_guard guard(lock);
    samples.insert(samples.end(), more.begin(), more.end());
}

std::size_t DictationSession::sampleCount() const {
    std::lock_guard guard(lock);
    return samples.size();
}

double DictationSession::durationSeconds() const {
    return static_cast<double>(sampleCount()) / 16000.0;
}

std::vector<std::uint8_t> DictationSession::encodeWAV(std::span<const float> samples) {
    std::vector<std::uint8_t> out(44 + samples.size() * 2);
    encodeInto(out.data(), samples);
    return out;
}

void DictationSession::appendPCM(std::string& out, std::span<const float> samples) {
    std::size_t at = out.size();
    out.resize(at + samples.size() * 2);
    encodeSamples(reinterpret_cast<std::uint8_t*>(out.data() + at), samples);
}

std::vector<std::uint8_t> DictationSession::getWAVData() const {
    // Encoding straight from the store under the lock avoids copying a 300 s recording first; the audio
    // thread waits a few milliseconds at most, once per recording.
    std::lock_guard guard(lock);
    return encodeWAV(samples);
}

std::string DictationSession::pcmData() const {
    std::lock_guard guard(lock);
    std::string out;
    appendPCM(out, samples);
    return out;
}

} // namespace vokari
