// Transcription accuracy: our tuned engine against stock pocketsphinx on real recordings, and the command pass
// and vocabulary on speech made at test time with flite.
#include "RealSpeech.h"
#include "ServerProcess.h"

#include "command/CommandPlanner.h"
#include "stt/CommandGrammar.h"
#include "stt/PocketSphinxEngine.h"

#include <gtest/gtest.h>

#include <thread>

using namespace vokari::server;
using namespace vokari::server::test;

namespace {

std::unique_ptr<PocketSphinxEngine> makeEngine(bool tuned, int decoders = 1) {
    PocketSphinxConfig config;
    config.decoders = decoders;
    config.tuned = tuned;
    config.conditionAudio = tuned; // stock = the library as it comes, on the audio as recorded
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

TEST(ServerSpeechAccuracy, OnRealRecordingsTheServerMakesNoMoreErrorsThanStockPocketsphinx) {
    // A fixed sample of the development set (bench/server/devset.py): every twelfth prompt of six words or
    // more, as recorded (wideband) and the first five again as telephone audio. The full set is measured by
    // the vokari_server_wer_bench benchmark.
    const std::vector<std::pair<std::string, std::string>> prompts = {
        {"agent-alreadyon", "that agent is already logged on please enter your agent number followed by the pound key"},
        {"conf-getpin", "please enter the conference pin number"},
        {"confbridge-begin-glorious-b", "the conference will begin when our glorious leader arrives"},
        {"confbridge-lock-extended",
         "to lock or unlock the conference when a conference is locked only conference administrators can join"},
        {"confbridge-rest-list-vol-in", "to reset the audio volume of the conference to the default level"},
        {"dir-first", "letters of your party's first name"},
        {"pbx-invalid", "i am sorry that's not a valid extension please try again"},
        {"queue-holdtime", "the estimated hold time is currently"},
        {"vm-enter-num-to-call", "please enter the number you wish to call"},
        {"vm-nonumber", "i'm afraid i don't know who sent this message"},
        {"vm-tmpexists", "there is a temporary greeting which overrides your standard greetings"},
    };
    auto tuned = makeEngine(true);
    auto stock = makeEngine(false);
    ASSERT_TRUE(tuned && stock);
    size_t words = 0, tunedErrors = 0, stockErrors = 0;
    auto score = [&](const PcmAudio& audio, const std::string& text) {
        std::string ours = transcribe(*tuned, audio);
        std::string theirs = transcribe(*stock, audio);
        words += wordDistance("", text); // the words of `text`
        tunedErrors += wordDistance(text, ours);
        stockErrors += wordDistance(text, theirs);
        std::cout << "ref:   " << text << "\nours:  " << ours << "\nstock: " << theirs << "\n";
    };
    for (size_t i = 0; i < prompts.size() + 5; ++i) {
        const auto& [name, text] = prompts[i % prompts.size()];
        auto audio = asteriskPrompt(name, i < prompts.size() ? Channel::wideband : Channel::telephone);
        ASSERT_TRUE(audio) << name << ": install asterisk-core-sounds-en-g722 and -wav (scripts/setup.sh)";
        score(*audio, text);
    }
    // Another voice: two sentences read from an audiobook.
    for (const auto& [file, text] : std::vector<std::pair<std::string, std::string>>{
             {"sense_and_sensibility_01_austen_64kb-0880", "he was not an ill disposed young man"},
             {"sense_and_sensibility_01_austen_64kb-0930", "he might even have been made amiable himself"}}) {
        auto audio = pocketsphinxTestRecording("librivox/" + file + ".wav");
        ASSERT_TRUE(audio) << file << ": install pocketsphinx-testdata (scripts/setup.sh)";
        score(*audio, text);
    }
    std::cout << "errors ours " << tunedErrors << " stock " << stockErrors << " over " << words << " words\n";
    EXPECT_LE(tunedErrors, stockErrors);
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
