#pragma once
// Offline transcription with pocketsphinx and its en-us model: decoders are built once at start-up and pooled,
// so concurrent requests each take a free decoder instead of queuing on one.
// transcribe() runs on HTTP worker threads; the pool's mutex guards checkout. Owned by ServerApp.

#include "stt/SpeechEngine.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

struct ps_decoder_s;
struct cmd_ln_s;

namespace vokari::server {

struct PocketSphinxConfig {
    std::string modelDir = VOKARI_POCKETSPHINX_MODEL_DIR; // holds en-us/, en-us.lm.bin, cmudict-en-us.dict
    int decoders = 2;
    int acquireTimeoutMs = 60'000; // a request waits this long for a free decoder, then gets 503
    bool tuned = true;             // false = the library's stock settings (the accuracy baseline)
    bool conditionAudio = true;    // trim leading/trailing silence and fill telephone audio's top band
    // Decoder settings applied when tuned, measured on real recordings (bench/server, docs/benchmarks.md).
    // Whole-utterance decoding gives batch CMN; per-frame caps of 10000 HMMs and 20 word exits measured as
    // accurate as the library's (30000, unlimited) while bounding the CPU a long noisy recording can take.
    // The tighter caps once chosen on synthetic speech (2000/5) lost most words of a noisy recording.
    // The library's voice-activity filter is off: silence is trimmed before decoding, and the filter's noise
    // estimate carries over from one utterance to the next, so a decoder's answer depended on its history.
    std::vector<std::pair<std::string, std::string>> tuning = {
        {"-maxhmmpf", "10000"}, {"-maxwpf", "20"}, {"-remove_silence", "no"}};
    // A stream is conditioned and its cepstral mean seeded from this much of its start (at least this much
    // after speech begins) before it is decoded; the rest is decoded as it arrives. See PocketSphinxStream.
    int streamPrimeMs = 2000;
    // Silence after the 0.25 s margin that closes a stream's utterance so far (see PocketSphinxStream).
    int streamPauseSplitMs = 500;
    // Once an utterance holds this much audio, a shorter pause closes it too, so what is left for the end stays
    // short however long the user speaks between long pauses (0 = never). Measured on long real dictations:
    // no word lost against the 0.75 s split alone (docs/benchmarks.md).
    int streamLongUtteranceMs = 6000;
    int streamLongPauseSplitMs = 200;
};

class PocketSphinxEngine final : public SpeechEngine {
public:
    // Loads the model into every decoder; an error text when the model cannot be loaded.
    static std::variant<std::unique_ptr<PocketSphinxEngine>, std::string> create(const PocketSphinxConfig& config);
    ~PocketSphinxEngine() override;

    std::string name() const override { return "pocketsphinx"; }
    SttResult transcribe(const PcmAudio& audio, const std::vector<std::string>& vocabulary, SttMode mode) override;
    std::unique_ptr<SpeechStream> openStream(const std::vector<std::string>& vocabulary) override;

private:
    friend class PocketSphinxStream;

    struct Decoder {
        ps_decoder_s* ps = nullptr;
        std::string lmSearch;        // name of the open-vocabulary search
        bool hasGrammar = false;     // the "command" search loaded
        std::set<std::string> added; // words this decoder learned from vocabularies
    };

    // The hypothesis as plain words: fillers and alternate-pronunciation marks removed.
    static std::string cleanHypothesis(const char* hyp);
    explicit PocketSphinxEngine(PocketSphinxConfig config) : config_(std::move(config)) {}
    std::optional<std::string> buildDecoder(Decoder& d);
    void addVocabulary(Decoder& d, const std::vector<std::string>& vocabulary);
    std::optional<std::string> decode(Decoder& d, const PcmAudio& audio);
    // Readies a checked-out decoder for a dictation with `vocabulary`: rebuilt if needed, open search.
    std::optional<SttError> prepare(Decoder& d, const std::vector<std::string>& vocabulary);
    // The whole-recording path on a prepared decoder.
    SttResult transcribeWith(Decoder& d, const PcmAudio& audio, SttMode mode);
    // Waits up to acquireTimeoutMs; null when none came free.
    Decoder* acquire();
    // A free decoder now, or null. Never takes one a waiting acquire() is owed, so streams, which can
    // buffer, cannot starve whole-recording requests, which cannot.
    Decoder* tryAcquire();
    void release(Decoder* d);

    PocketSphinxConfig config_;
    std::vector<std::unique_ptr<Decoder>> decoders_;
    std::vector<Decoder*> free_;
    std::mutex lock_;
    std::condition_variable freed_;
    int waiting_ = 0; // threads inside acquire()
};

} // namespace vokari::server
