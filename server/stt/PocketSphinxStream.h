#pragma once
// A dictation decoded by pocketsphinx while it is recorded, so that little work is left when it ends.
//
// The whole-recording path owes its accuracy to seeing everything at once: silence trimmed by the
// recording's own noise floor, telephone audio detected, and the cepstral mean taken over the whole
// utterance. A stream gets as close as it can: it waits for its first two seconds (and half a second
// after speech starts), plans the conditioning from that, seeds the cepstral mean with the mean of that audio,
// then decodes each block as it arrives with the mean of everything so far. Trailing silence is held back
// and only decoded when speech resumes, so the end is trimmed as the whole-recording path trims it; a pause
// of 0.75 s or more closes the utterance so far (its final passes run while the user is silent; 0.45 s once it
// holds 6 s of audio), and the speech after it starts a new one from its silence margin. A
// recording that ends before decoding started is decoded whole, exactly as /process would.
//
// Decoders: one is taken at open when free (the vocabulary is loaded then, before any audio); otherwise
// the audio is kept and a decoder is tried again with every block, and waited for at the end. Used by one
// thread; destroying the stream unfinished ends the utterance and returns the decoder to the pool.

#include "stt/AudioConditioner.h"
#include "stt/PocketSphinxEngine.h"
#include "stt/SpeechStream.h"

#include <optional>
#include <string>
#include <vector>

struct fe_s;

namespace vokari::server {

class PocketSphinxStream final : public SpeechStream {
public:
    PocketSphinxStream(PocketSphinxEngine& engine, std::vector<std::string> vocabulary);
    ~PocketSphinxStream() override;
    PocketSphinxStream(const PocketSphinxStream&) = delete;
    PocketSphinxStream& operator=(const PocketSphinxStream&) = delete;

    void feed(const int16_t* samples, size_t count) override;
    SttResult finish() override;
    size_t samplesFed() const override { return audio_.size(); }

    // Whether live decoding has begun (tests and the benchmark look at it).
    bool decodingLive() const { return started_; }

private:
    void takeDecoder(bool wait);
    void tryStart();
    void classifyFrames(bool atEnd);
    void decodeUpTo(size_t end);
    void endUtterance();
    SttResult decodeRest();
    void closeSegment();
    void openSegment(size_t firstVoicedFrame);
    void letGo(); // ends any utterance and returns the decoder

    PocketSphinxEngine& engine_;
    std::vector<std::string> vocabulary_;
    std::vector<int16_t> audio_; // the whole recording as received
    PocketSphinxEngine::Decoder* decoder_ = nullptr;
    std::optional<SttError> error_;

    size_t primeSamples_;
    // A pause this long after the silence margin closes the utterance so far: its final passes run while
    // the user is silent, and only the speech after the last pause is left for the end.
    size_t pauseSplit_;
    size_t longUtterance_;   // an utterance this long (samples) closes at longPauseSplit_ instead (0 = never)
    size_t longPauseSplit_;
    size_t utteranceStart_ = 0; // first sample of the open utterance
    size_t nextPlanAt_;        // audio length at which the conditioning is (re)planned
    bool started_ = false;     // live decoding began (the decoder's mean is ours until letGo)
    bool inUtterance_ = false; // an utterance is open in the decoder
    std::string text_;         // words of the segments closed at pauses
    ConditioningPlan plan_;
    size_t classified_ = 0; // frames whose voicing is decided
    size_t keepUntil_ = 0;  // samples before this are speech or the silence margin after it
    size_t decoded_ = 0;    // samples handed to the decoder

    fe_s* fe_ = nullptr; // a front end of our own, to know the cepstra before the decoder sees them
    int savedCmn_ = 0;
    std::vector<double> cepSum_;
    size_t cepFrames_ = 0;
    std::vector<int16_t> scratch_;
};

} // namespace vokari::server
