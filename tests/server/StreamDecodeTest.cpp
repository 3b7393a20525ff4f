// Streamed decoding with the real engine: block by block (100 ms, as the app sends) against the whole
// recording, and streams sharing the decoder pool with whole-recording requests.
#include "ServerProcess.h"

#include "stt/PocketSphinxEngine.h"
#include "stt/SpeechStream.h"

#include <gtest/gtest.h>

#include <thread>

using namespace vokari::server;
using namespace vokari::server::test;

namespace {

std::unique_ptr<PocketSphinxEngine> makeEngine(int decoders) {
    PocketSphinxConfig config;
    config.decoders = decoders;
    auto created = PocketSphinxEngine::create(config);
    if (auto* err = std::get_if<std::string>(&created)) {
        ADD_FAILURE() << *err;
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<PocketSphinxEngine>>(created));
}

PcmAudio speech(const std::string& text) {
    auto wav = readWav(fliteWav(text));
    if (auto* audio = std::get_if<PcmAudio>(&wav)) {
        return *audio;
    }
    ADD_FAILURE() << "no speech for: " << text;
    return {};
}

std::string text(const SttResult& r) {
    return std::holds_alternative<SttText>(r) ? std::get<SttText>(r).text : "<failed>";
}

constexpr size_t kBlock = 1600; // 100 ms

void feed(SpeechStream& stream, const PcmAudio& audio, size_t from, size_t to) {
    for (size_t pos = from; pos < to; pos += kBlock) {
        stream.feed(audio.samples.data() + pos, std::min(kBlock, to - pos));
    }
}

std::string streamed(PocketSphinxEngine& engine, const PcmAudio& audio, const std::vector<std::string>& vocab = {}) {
    auto stream = engine.openStream(vocab);
    feed(*stream, audio, 0, audio.samples.size());
    return text(stream->finish());
}

} // namespace

TEST(ServerStreamDecoding, StreamedBlockByBlockGivesTheTextOfTheWholeRecording) {
    auto engine = makeEngine(1);
    ASSERT_TRUE(engine);
    const std::vector<std::pair<std::string, std::vector<std::string>>> phrases = {
        {"the quick brown fox jumps over the lazy dog and runs far away into the forest", {}},
        {"our new product launch was a big success with customers", {}},
        {"please schedule a meeting with the marketing team next week", {}},
        {"we deployed the vokari service yesterday", {"Vokari"}},
    };
    for (const auto& [phrase, vocab] : phrases) {
        auto audio = speech(phrase);
        std::string whole = text(engine->transcribe(audio, vocab, SttMode::dictation));
        EXPECT_EQ(streamed(*engine, audio, vocab), whole) << phrase;
    }
}

TEST(ServerStreamDecoding, StreamsAndWholeRecordingsShareOneDecoderWithoutDeadlockOrLeftoverState) {
    auto engine = makeEngine(1);
    ASSERT_TRUE(engine);
    auto first = speech("our new product launch was a big success with customers");
    auto second = speech("please schedule a meeting with the marketing team next week");
    const std::string expectFirst = text(engine->transcribe(first, {}, SttMode::dictation));
    const std::string expectSecond = text(engine->transcribe(second, {}, SttMode::dictation));
    const std::string expectFirstStreamed = streamed(*engine, first);

    // A stream holds the only decoder while its speaker talks; a whole recording waits for it, and a second
    // stream keeps its audio meanwhile and is decoded once a decoder is free.
    auto holding = engine->openStream({});
    feed(*holding, first, 0, first.samples.size() / 2);
    std::string waited;
    std::thread whole([&] { waited = text(engine->transcribe(second, {}, SttMode::dictation)); });
    auto buffered = engine->openStream({});
    feed(*buffered, second, 0, second.samples.size());
    feed(*holding, first, first.samples.size() / 2, first.samples.size());
    EXPECT_EQ(text(holding->finish()), expectFirstStreamed);
    holding.reset();
    EXPECT_EQ(text(buffered->finish()), expectSecond);
    whole.join();
    EXPECT_EQ(waited, expectSecond);

    // A stream dropped mid-utterance (the client went away) returns its decoder as good as before.
    auto dropped = engine->openStream({});
    feed(*dropped, second, 0, second.samples.size() * 2 / 3);
    dropped.reset();
    EXPECT_EQ(text(engine->transcribe(first, {}, SttMode::dictation)), expectFirst);
    EXPECT_EQ(streamed(*engine, first), expectFirstStreamed);
}

// A pause closes the utterance so far and the speech after it starts a new one: no word may be lost or repeated
// at the seam. Half a second of silence is too short to close a short utterance, long enough after 6 s of speech.
TEST(ServerStreamDecoding, AnUtteranceClosedAtAPauseKeepsEveryWordOnce) {
    auto engine = makeEngine(1);
    ASSERT_TRUE(engine);
    auto first = speech("the quick brown fox jumps over the lazy dog and runs far away into the forest");
    auto second = speech("our new product launch was a big success with customers");
    auto third = speech("please schedule a meeting with the marketing team next week");
    PcmAudio opening = first; // about 8.5 s of speech with only the synthesiser's short gap inside
    opening.samples.insert(opening.samples.end(), second.samples.begin(), second.samples.end());
    PcmAudio joined = opening;
    joined.samples.insert(joined.samples.end(), 8000, int16_t{0});
    joined.samples.insert(joined.samples.end(), third.samples.begin(), third.samples.end());

    // The seam's own words, not exact text: the part after the pause starts with the running cepstral mean, so a
    // word inside it may come out differently from a decode of that part alone.
    const std::string before = text(engine->transcribe(opening, {}, SttMode::dictation));
    ASSERT_EQ(before.substr(before.size() - 9), "customers");
    const std::string got = streamed(*engine, joined);
    EXPECT_EQ(got.substr(0, before.size() + 16), before + " please schedule") << got;
    EXPECT_EQ(got.substr(got.size() - 29), " the marketing team next week") << got;
}
