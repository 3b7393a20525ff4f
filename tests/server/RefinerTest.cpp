// Rule-based refinement, one table row per behaviour.
#include "refine/RuleRefiner.h"
#include "refine/VocabularyMatcher.h"
#include "stt/LetterToPhone.h"

#include <gtest/gtest.h>

using namespace vokari::server;

namespace {

struct Row {
    const char* preset;
    const char* raw;
    const char* vocab;
    const char* expected;
};

} // namespace

TEST(ServerRuleRefiner, Table) {
    const Row rows[] = {
        // Spoken punctuation.
        {"minimal", "hello comma world period", "", "hello, world."},
        {"minimal", "is it done question mark yes exclamation mark", "", "is it done? yes!"},
        {"minimal", "note colon buy milk full stop", "", "note: buy milk."},
        {"minimal", "first line new line second line", "", "first line\nsecond line"},
        {"minimal", "intro new paragraph body", "", "intro\n\nbody"},
        {"minimal", "comma period leading marks vanish", "", "leading marks vanish"},
        // Self-correction drops the sentence so far, not earlier sentences.
        {"minimal", "send it today scratch that send it tomorrow", "", "send it tomorrow"},
        {"professional", "first part period wrong words scratch that right words", "", "First part. Right words."},
        // Presets.
        {"professional", "i think i'm ready period are you question mark", "", "I think I'm ready. Are you?"},
        {"professional", "list colon eggs comma", "", "List: eggs."},
        {"professional", "line one new line line two", "", "Line one.\nLine two."},
        {"custom", "no llm here", "", "No llm here."},
        {"casual", "Hello There comma Friend period", "", "hello there, friend"},
        {"minimal", "Keep As Is", "", "Keep As Is"},
        {"unknown-preset", "falls back", "", "Falls back."},
        // Vocabulary: sound-alike runs become the term as spelled, whatever the preset.
        {"minimal", "deploy to kuber net ease today", "Kubernetes", "deploy to Kubernetes today"},
        {"casual", "push to git hub", "GitHub", "push to GitHub"},
        {"professional", "ask chat gpt", "ChatGPT", "Ask ChatGPT."},
        {"minimal", "open post gress", "Postgres", "open Postgres"},
        {"minimal", "talk to andy and bob", "Anya", "talk to andy and bob"},
        {"minimal", "the cat sat", "Catalyst", "the cat sat"},
        // Calendar names and numbers as a person writes them (professional and custom only).
        {"professional", "see you on monday the first of may", "", "See you on Monday the first of May."},
        {"professional", "you may march in march", "", "You may march in March."},
        {"professional", "it took twenty five minutes not ten minutes", "", "It took 25 minutes not ten minutes."},
        {"custom", "founded in two thousand and five with three hundred and twelve people", "",
         "Founded in 2005 with 312 people."},
        {"professional", "press one two three or one hundred", "", "Press one two three or 100."},
        {"casual", "twenty five on monday", "", "twenty five on monday"},
        // Already punctuated input (another engine) keeps its marks.
        {"professional", "hello, world. how are you?", "", "Hello, world. How are you?"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.preset) + ": " + r.raw);
        RefineInput in{r.raw, r.preset, "", parseVocabulary(r.vocab)};
        EXPECT_EQ(RuleRefiner::apply(in), r.expected);
    }
}

TEST(ServerRuleRefiner, VocabularyParsingMultiWordTermsAndGuessedPhones) {
    EXPECT_EQ(parseVocabulary(" Kubernetes, GitHub ,,\nClaude Code; Kubernetes"),
              (std::vector<std::string>{"Kubernetes", "GitHub", "Claude Code"}));
    VocabularyMatcher m({"Claude Code"});
    EXPECT_EQ(m.apply({"use", "clawed", "code", "now"}), (std::vector<std::string>{"use", "Claude Code", "now"}));
    // Vocabulary words missing from the decoder's dictionary get these phones.
    EXPECT_EQ(guessPhones("vokari"), "V AA K AA R IY");
    EXPECT_EQ(guessPhones("123"), "");
}

TEST(ServerRuleRefiner, EveryTermFoundInALongVocabularyAndALongDictation) {
    // Most comparisons are skipped by length and shared letters: a term must still win on every run of words that
    // sounds like it, however many unrelated terms of one or several words come before and after it.
    std::string vocab = "Kubernetes, ";
    unsigned seed = 3;
    for (int t = 0; t < 480; ++t) {
        std::string term;
        const std::size_t length = 4 + static_cast<std::size_t>(t) % 37;
        while (term.size() < length) {
            seed = seed * 1103515245u + 12345u;
            term += static_cast<char>('a' + (seed >> 16) % 26);
            term += (seed >> 8) % 4 == 0 ? " " : "";
        }
        vocab += term + ", ";
    }
    vocab += "Claude Code, GitHub";
    const auto terms = parseVocabulary(vocab);
    ASSERT_EQ(terms.size(), 483u);
    std::string raw;
    std::string expected;
    for (int i = 0; i < 3; ++i) {
        raw += "deploy kuber net ease then push to git hub and ask clawed code ";
        expected += "deploy Kubernetes then push to GitHub and ask Claude Code ";
    }
    raw.pop_back();
    expected.pop_back();
    EXPECT_EQ(RuleRefiner::apply(RefineInput{raw, "minimal", "", terms}), expected);
}
