// Transcription accuracy on speech made at test time with flite: our tuned engine against stock pocketsphinx.
#include "ServerProcess.h"

#include "command/CommandPlanner.h"
#include "stt/CommandGrammar.h"
#include "stt/PocketSphinxEngine.h"

#include <gtest/gtest.h>

#include <thread>

using namespace vokari;
using namespace vokari::test;

namespace {

std::unique_ptr<PocketSphinxEngine> makeEngine(bool tuned, int decoders = 1) {
    PocketSphinxConfig config;
    config.decoders = decoders;
    config.tuned = tuned;
    auto created = PocketSphinxEngine::create(config);
    if (auto* err = std::get_if<std::string>(&created)) {
        ADD_FAILURE() << *err;
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<PocketSphinxEngine>>(created));
}

// flite's speech of `text`; empty audio (and a failure) when it could not be made.
PcmAudio speech(const std::string& text) {
    auto wav = readWav(fliteWav(text));
    if (auto* audio = std::get_if<PcmAudio>(&wav)) {
        return *audio;
    }
    ADD_FAILURE() << "no speech for: " << text;
    return {};
}

std::string transcribe(PocketSphinxEngine& engine, const PcmAudio& audio, const std::vector<std::string>& vocab = {},
                       SttMode mode = SttMode::dictation) {
    auto r = engine.transcribe(audio, vocab, mode);
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
        auto audio = speech(s);
        std::string ours = transcribe(*tuned, audio);
        std::string theirs = transcribe(*stock, audio);
        words += wordDistance("", s); // the words of `s`
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

TEST(ServerSpeechAccuracy, CommandPassHearsCommandsAtLeastAsWellAsDictationAndVocabularyIsHeard) {
    const std::vector<std::pair<std::string, std::string>> commands = {
        {"open firefox", "activate_app"},     {"press control c", "keyboard_shortcut"},
        {"go to github dot com", "open_url"}, {"open terminal and then press enter", "activate_app"},
        {"wait three seconds", "delay"},
    };
    auto engine = makeEngine(true);
    ASSERT_TRUE(engine);
    size_t commandErrors = 0, dictationErrors = 0;
    for (const auto& [spoken, firstType] : commands) {
        auto audio = speech(spoken);
        std::string asCommand = transcribe(*engine, audio, {}, SttMode::command);
        std::string asDictation = transcribe(*engine, audio);
        commandErrors += wordDistance(spoken, asCommand);
        dictationErrors += wordDistance(spoken, asDictation);
        std::cout << spoken << " -> command: " << asCommand << " | dictation: " << asDictation << "\n";
        auto plan = CommandPlanner::plan(asCommand);
        EXPECT_EQ(plan.empty() ? "" : plan.front().type, firstType) << asCommand;
    }
    EXPECT_LE(commandErrors, dictationErrors);
    // A vocabulary word unknown to the stock dictionary becomes recognisable.
    std::string withVocab = transcribe(*engine, speech("we deployed the vokari service yesterday"), {"Vokari"});
    EXPECT_NE(withVocab.find("vokari"), std::string::npos) << withVocab;
}

TEST(ServerSpeechAccuracy, PooledDecodersGiveTheSameTextWhateverTheyDecodedBefore) {
    auto engine = makeEngine(true, 2);
    ASSERT_TRUE(engine);
    auto first = speech("our new product launch was a big success with customers");
    auto second = speech("please schedule a meeting with the marketing team next week");
    // Warm each decoder with different audio, then decode both clips concurrently in the other order:
    // no state of an earlier request may leak into a later one.
    std::string expectFirst = transcribe(*engine, first);
    std::string expectSecond = transcribe(*engine, second);
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] { results[i] = transcribe(*engine, i % 2 == 0 ? second : first); });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(results, (std::vector<std::string>{expectSecond, expectFirst, expectSecond, expectFirst}));
}
