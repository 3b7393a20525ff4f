#include "stt/PocketSphinxEngine.h"

#include "command/CommandPlanner.h"
#include "stt/AudioConditioner.h"
#include "stt/CommandGrammar.h"
#include "stt/LetterToPhone.h"
#include "stt/PocketSphinxStream.h"

#include <err.h>
#include <pocketsphinx.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <sstream>

namespace vokari::server {
namespace {

// Past this many learned words a decoder is rebuilt, so one device's vocabulary does not linger forever.
constexpr size_t kMaxLearnedWords = 2000;

// Splits vocabulary terms into dictionary-shaped words: lower-case letters and apostrophes only.
std::vector<std::string> vocabularyWords(const std::vector<std::string>& vocabulary) {
    std::vector<std::string> out;
    for (const auto& term : vocabulary) {
        std::string word;
        auto flush = [&] {
            if (word.size() > 1 && word.size() < 40) {
                out.push_back(word);
            }
            word.clear();
        };
        for (char c : term) {
            if (std::isalpha(static_cast<unsigned char>(c)) || c == '\'') {
                word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
            } else {
                flush();
            }
        }
        flush();
    }
    return out;
}

bool isFiller(const std::string& w) {
    return w.empty() || w.front() == '<' || w.front() == '[' || w.front() == '+';
}

} // namespace

std::string PocketSphinxEngine::cleanHypothesis(const char* hyp) {
    if (hyp == nullptr) {
        return {};
    }
    std::istringstream in(hyp);
    std::string out, w;
    while (in >> w) {
        if (auto paren = w.find('('); paren != std::string::npos && paren > 0) {
            w.erase(paren); // alternate pronunciation marker "word(2)"
        }
        if (isFiller(w)) {
            continue;
        }
        out += out.empty() ? "" : " ";
        out += w;
    }
    return out;
}

std::variant<std::unique_ptr<PocketSphinxEngine>, std::string>
PocketSphinxEngine::create(const PocketSphinxConfig& config) {
    std::unique_ptr<PocketSphinxEngine> engine(new PocketSphinxEngine(config));
    err_set_logfp(nullptr); // the library's chatter would drown the access log
    int n = std::max(1, config.decoders);
    for (int i = 0; i < n; ++i) {
        auto d = std::make_unique<Decoder>();
        if (auto err = engine->buildDecoder(*d)) {
            return *err;
        }
        engine->free_.push_back(d.get());
        engine->decoders_.push_back(std::move(d));
    }
    return engine;
}

PocketSphinxEngine::~PocketSphinxEngine() {
    for (auto& d : decoders_) {
        ps_free(d->ps);
    }
}

std::optional<std::string> PocketSphinxEngine::buildDecoder(Decoder& d) {
    const std::string hmm = config_.modelDir + "/en-us";
    const std::string lm = config_.modelDir + "/en-us.lm.bin";
    const std::string dict = config_.modelDir + "/cmudict-en-us.dict";
    std::vector<std::string> args = {"-hmm", hmm, "-lm", lm, "-dict", dict, "-logfn", "/dev/null"};
    if (config_.tuned) {
        for (const auto& [name, value] : config_.tuning) {
            args.push_back(name);
            args.push_back(value);
        }
    }
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    cmd_ln_t* cfg = cmd_ln_parse_r(nullptr, ps_args(), static_cast<int32>(argv.size()), argv.data(), TRUE);
    if (cfg == nullptr) {
        return "pocketsphinx: invalid configuration for model " + config_.modelDir;
    }
    if (d.ps != nullptr) {
        ps_free(d.ps);
    }
    d.ps = ps_init(cfg);
    cmd_ln_free_r(cfg); // the decoder keeps its own reference
    if (d.ps == nullptr) {
        return "pocketsphinx: cannot load the model from " + config_.modelDir;
    }
    const char* search = ps_get_search(d.ps);
    d.lmSearch = search != nullptr ? search : "";
    d.added.clear();
    auto known = [&d](const std::string& w) {
        char* phones = ps_lookup_word(d.ps, w.c_str());
        bool found = phones != nullptr; // decided before the free: a freed pointer must not be read
        std::free(phones);
        return found;
    };
    std::string jsgf = commandGrammarJsgf(known);
    d.hasGrammar = ps_set_jsgf_string(d.ps, "command", jsgf.c_str()) == 0;
    if (!d.lmSearch.empty()) {
        ps_set_search(d.ps, d.lmSearch.c_str());
    }
    return std::nullopt;
}

PocketSphinxEngine::Decoder* PocketSphinxEngine::acquire() {
    std::unique_lock<std::mutex> guard(lock_);
    ++waiting_;
    bool got =
        freed_.wait_for(guard, std::chrono::milliseconds(config_.acquireTimeoutMs), [this] { return !free_.empty(); });
    --waiting_;
    if (!got) {
        return nullptr;
    }
    Decoder* d = free_.back();
    free_.pop_back();
    return d;
}

PocketSphinxEngine::Decoder* PocketSphinxEngine::tryAcquire() {
    std::lock_guard<std::mutex> guard(lock_);
    if (free_.empty() || waiting_ > 0) {
        return nullptr;
    }
    Decoder* d = free_.back();
    free_.pop_back();
    return d;
}

void PocketSphinxEngine::release(Decoder* d) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        free_.push_back(d);
    }
    freed_.notify_one();
}

void PocketSphinxEngine::addVocabulary(Decoder& d, const std::vector<std::string>& vocabulary) {
    std::vector<std::pair<std::string, std::string>> missing;
    for (const auto& w : vocabularyWords(vocabulary)) {
        if (d.added.count(w) != 0) {
            continue;
        }
        char* phones = ps_lookup_word(d.ps, w.c_str());
        if (phones != nullptr) {
            std::free(phones);
            continue;
        }
        std::string guess = guessPhones(w);
        if (!guess.empty()) {
            missing.emplace_back(w, guess);
        }
    }
    for (size_t i = 0; i < missing.size(); ++i) {
        // Rebuilding the search once, after the last word, is much cheaper than after each.
        bool last = i + 1 == missing.size();
        if (ps_add_word(d.ps, missing[i].first.c_str(), missing[i].second.c_str(), last ? TRUE : FALSE) >= 0) {
            d.added.insert(missing[i].first);
        }
    }
}

std::optional<std::string> PocketSphinxEngine::decode(Decoder& d, const PcmAudio& audio) {
    if (ps_start_utt(d.ps) < 0) {
        return std::nullopt;
    }
    int rc = config_.tuned ? ps_process_raw(d.ps, audio.samples.data(), audio.samples.size(), FALSE, TRUE) : 0;
    if (!config_.tuned) {
        // Stock behaviour: feed the audio in blocks as a live recogniser would.
        for (size_t pos = 0; pos < audio.samples.size() && rc >= 0; pos += 2048) {
            size_t n = std::min<size_t>(2048, audio.samples.size() - pos);
            rc = ps_process_raw(d.ps, audio.samples.data() + pos, n, FALSE, FALSE);
        }
    }
    if (rc < 0 || ps_end_utt(d.ps) < 0) {
        return std::nullopt;
    }
    int32 score = 0;
    return cleanHypothesis(ps_get_hyp(d.ps, &score));
}

std::optional<SttError> PocketSphinxEngine::prepare(Decoder& d, const std::vector<std::string>& vocabulary) {
    // A decoder whose rebuild failed earlier gets another try rather than being used half-built.
    if (d.ps == nullptr || d.added.size() > kMaxLearnedWords) {
        if (auto err = buildDecoder(d)) {
            return SttError{SttError::Kind::unavailable, *err};
        }
    }
    ps_set_search(d.ps, d.lmSearch.c_str());
    addVocabulary(d, vocabulary);
    return std::nullopt;
}

SttResult PocketSphinxEngine::transcribeWith(Decoder& d, const PcmAudio& audio, SttMode mode) {
    std::optional<PcmAudio> conditioned;
    if (config_.conditionAudio) {
        conditioned = conditionForDecoding(audio).audio;
    }
    const PcmAudio& input = conditioned ? *conditioned : audio;

    std::optional<std::string> grammarText;
    if (mode == SttMode::command && d.hasGrammar && ps_set_search(d.ps, "command") == 0) {
        grammarText = decode(d, input);
        ps_set_search(d.ps, d.lmSearch.c_str());
    }
    auto openText = decode(d, input);
    if (!openText) {
        return SttError{SttError::Kind::failed, "pocketsphinx decode failed"};
    }
    if (grammarText) {
        auto understood = [](const std::string& t) { return !CommandPlanner::plan(t).empty(); };
        return SttText{chooseCommandTranscript(*grammarText, *openText, understood)};
    }
    return SttText{*openText};
}

SttResult PocketSphinxEngine::transcribe(const PcmAudio& audio, const std::vector<std::string>& vocabulary,
                                         SttMode mode) {
    Decoder* d = acquire();
    if (d == nullptr) {
        return SttError{SttError::Kind::unavailable, "no free decoder"};
    }
    struct Releaser {
        PocketSphinxEngine* self;
        Decoder* d;
        ~Releaser() { self->release(d); }
    } releaser{this, d};
    if (auto err = prepare(*d, vocabulary)) {
        return *err;
    }
    return transcribeWith(*d, audio, mode);
}

std::unique_ptr<SpeechStream> PocketSphinxEngine::openStream(const std::vector<std::string>& vocabulary) {
    return std::make_unique<PocketSphinxStream>(*this, vocabulary);
}

} // namespace vokari::server
