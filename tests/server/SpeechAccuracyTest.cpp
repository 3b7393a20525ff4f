// Transcription accuracy on speech made at test time with flite: our tuned engine against stock pocketsphinx.
#include "ServerProcess.h"

#include "command/CommandPlanner.h"
#include "stt/CommandGrammar.h"
#include "stt/PocketSphinxEngine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

using namespace vokari;
using namespace vokari::test;

namespace {

std::unique_ptr<PocketSphinxEngine> makeEngine(bool tuned) {
    PocketSphinxConfig config;
    config.decoders = 1;
    config.tuned = tuned;
    auto created = PocketSphinxEngine::create(config);
    if (auto* err = std::get_if<std::string>(&created)) {
        ADD_FAILURE() << *err;
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<PocketSphinxEngine>>(created));
}

size_t wordCount(const std::string& s) {
    std::istringstream in(s);
    size_t n = 0;
    for (std::string w; in >> w;) {
        ++n;
    }
    return n;
}

std::string text(const SttResult& r) {
    return std::holds_alternative<SttText>(r) ? std::get<SttText>(r).text : "<failed>";
}

} // namespace

TEST(ServerSpeechAccuracy, TunedEngineIsNoWorseThanStockPocketsphinx) {
    const std::vector<std::string> sentences = {
        "the quick brown fox jumps over the lazy dog",
        "please schedule a meeting with the marketing team for next tuesday afternoon",
        "i think we should review the budget before the end of the quarter",
        "can you send me the latest version of the report by email",
        "the weather today is sunny with a chance of rain in the evening",
        "remember to buy milk eggs and bread on the way home",
        "our new product launch was a big success with customers",
        "let me know if you have any questions about the project timeline",
    };
    auto tuned = makeEngine(true);
    auto stock = makeEngine(false);
    ASSERT_TRUE(tuned && stock);
    size_t words = 0, tunedErrors = 0, stockErrors = 0;
    for (const auto& s : sentences) {
        auto wav = readWav(fliteWav(s));
        ASSERT_TRUE(std::holds_alternative<PcmAudio>(wav)) << s;
        const auto& audio = std::get<PcmAudio>(wav);
        std::string ours = text(tuned->transcribe(audio, {}, SttMode::dictation));
        std::string theirs = text(stock->transcribe(audio, {}, SttMode::dictation));
        words += wordCount(s);
        tunedErrors += wordDistance(s, ours);
        stockErrors += wordDistance(s, theirs);
        std::cout << "ref:   " << s << "\nours:  " << ours << "\nstock: " << theirs << "\n";
    }
    double oursWer = double(tunedErrors) / double(words);
    double stockWer = double(stockErrors) / double(words);
    std::cout << "WER ours " << oursWer << " stock " << stockWer << " over " << words << " words\n";
    EXPECT_LE(oursWer, stockWer);
    EXPECT_LT(oursWer, 0.25);
}

TEST(ServerSpeechAccuracy, CommandPassHearsCommandsAtLeastAsWellAsDictation) {
    const std::vector<std::pair<std::string, std::string>> commands = {
        {"open firefox", "activate_app"},     {"press control c", "keyboard_shortcut"},
        {"go to github dot com", "open_url"}, {"open terminal and then press enter", "activate_app"},
        {"wait three seconds", "delay"},
    };
    auto engine = makeEngine(true);
    ASSERT_TRUE(engine);
    size_t commandErrors = 0, dictationErrors = 0;
    for (const auto& [spoken, firstType] : commands) {
        auto wav = readWav(fliteWav(spoken));
        ASSERT_TRUE(std::holds_alternative<PcmAudio>(wav));
        const auto& audio = std::get<PcmAudio>(wav);
        std::string asCommand = text(engine->transcribe(audio, {}, SttMode::command));
        std::string asDictation = text(engine->transcribe(audio, {}, SttMode::dictation));
        commandErrors += wordDistance(spoken, asCommand);
        dictationErrors += wordDistance(spoken, asDictation);
        std::cout << spoken << " -> command: " << asCommand << " | dictation: " << asDictation << "\n";
        auto plan = CommandPlanner::plan(asCommand);
        EXPECT_FALSE(plan.empty()) << asCommand;
        if (!plan.empty()) {
            EXPECT_EQ(plan.front().type, firstType) << asCommand;
        }
    }
    EXPECT_LE(commandErrors, dictationErrors);
}

TEST(ServerSpeechAccuracy, VocabularyWordsBecomeRecognisable) {
    auto engine = makeEngine(true);
    ASSERT_TRUE(engine);
    auto wav = readWav(fliteWav("we deployed the vokari service yesterday"));
    ASSERT_TRUE(std::holds_alternative<PcmAudio>(wav));
    std::string withVocab = text(engine->transcribe(std::get<PcmAudio>(wav), {"Vokari"}, SttMode::dictation));
    std::cout << "with vocabulary: " << withVocab << "\n";
    EXPECT_NE(withVocab.find("vokari"), std::string::npos);
}

TEST(ServerSpeechAccuracy, PooledDecodersGiveTheSameTextUnderConcurrency) {
    PocketSphinxConfig config;
    config.decoders = 2;
    auto created = PocketSphinxEngine::create(config);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<PocketSphinxEngine>>(created));
    auto& engine = *std::get<std::unique_ptr<PocketSphinxEngine>>(created);
    auto wav = readWav(fliteWav("our new product launch was a big success with customers"));
    ASSERT_TRUE(std::holds_alternative<PcmAudio>(wav));
    const auto& audio = std::get<PcmAudio>(wav);
    std::string expected = text(engine.transcribe(audio, {}, SttMode::dictation));
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] { results[i] = text(engine.transcribe(audio, {}, SttMode::dictation)); });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (const auto& r : results) {
        EXPECT_EQ(r, expected);
    }
}
