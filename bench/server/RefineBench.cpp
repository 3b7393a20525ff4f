// The rule refiner with the user's vocabulary, as a request pays for it after recognition: dictations of 15, 80
// and 750 words (about 5 s, 30 s and 5 min of speech) against vocabularies of 20, 100 and 500 terms, and the
// longest vocabulary a request may carry (500 distinct terms of 100 characters).
#include "refine/RuleRefiner.h"
#include "refine/VocabularyMatcher.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using namespace vokari::server;

namespace {

// Jargon and names of the kind people add, each a word or two.
const char* const kStems[] = {"Kubernetes", "PostgreSQL", "GitHub",  "Anya Petrova", "ChatGPT", "Terraform",
                              "Grafana",    "Vokari",     "Dr Okafor", "Nginx",      "Ansible", "Prometheus",
                              "Zhang Wei",  "OAuth",      "Figma",   "Jira board",   "Redis",   "Svelte Kit"};

std::string vocabulary(std::size_t terms) {
    std::string text;
    for (std::size_t t = 0; t < terms; ++t) {
        text += kStems[t % std::size(kStems)];
        if (t >= std::size(kStems)) {
            text += ' ' + std::to_string(t); // distinct terms, as a long list has
        }
        text += ", ";
    }
    return text;
}

// Longest allowed: 500 distinct terms of 100 characters, many short words each.
std::string hostileVocabulary() {
    std::string text;
    unsigned seed = 1;
    for (int t = 0; t < 500; ++t) {
        std::string term;
        while (term.size() < 98) {
            seed = seed * 1103515245u + 12345u;
            term += static_cast<char>('a' + (seed >> 16) % 26);
            term += (seed >> 8) % 3 == 0 ? " " : "";
        }
        text += term + ",";
    }
    return text;
}

std::string dictation(std::size_t words) {
    static const char* const kWords[] = {"so",     "we",   "deploy", "to",    "cooper", "net",   "ease",  "on",
                                         "monday", "then", "ask",    "anya",  "about",  "the",   "post",  "gress",
                                         "migration", "comma", "and", "update", "the", "graph", "fauna", "period"};
    std::string text;
    for (std::size_t i = 0; i < words; ++i) {
        text += kWords[i % std::size(kWords)];
        text += ' ';
    }
    return text;
}

void refine(benchmark::State& state, const std::string& vocab) {
    RefineInput input{dictation(static_cast<std::size_t>(state.range(0))), "professional", "", parseVocabulary(vocab)};
    for (auto _ : state) {
        benchmark::DoNotOptimize(RuleRefiner::apply(input));
    }
}

void BM_RefineWithVocabulary(benchmark::State& state) {
    refine(state, vocabulary(static_cast<std::size_t>(state.range(1))));
}

void BM_RefineWithLongestVocabulary(benchmark::State& state) {
    refine(state, hostileVocabulary());
}

} // namespace

BENCHMARK(BM_RefineWithVocabulary)
    ->ArgsProduct({{15, 80, 750}, {0, 20, 100, 500}})
    ->ArgNames({"words", "terms"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefineWithLongestVocabulary)->Arg(80)->Arg(750)->ArgName("words")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
