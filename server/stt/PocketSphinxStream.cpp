#include "stt/PocketSphinxStream.h"

#include <pocketsphinx.h>
#include <sphinxbase/cmn.h>
#include <sphinxbase/fe.h>
#include <sphinxbase/feat.h>

#include <algorithm>
#include <limits>

namespace vokari::server {
namespace {

constexpr size_t kFrame = kConditioningFrame;
constexpr size_t kKeep = kConditioningKeepSilence;
constexpr size_t kAfterOnset = 16000 / 2;  // speech heard before the plan is trusted
constexpr size_t kReplanEvery = 16000 / 2; // while no speech was found
// Handed to the decoder at most this much at a time: the live mean is set before each piece and must not
// be shifted by the library's own window update in the middle of one (it shifts after 300 frames).
constexpr size_t kMaxPiece = 16000;

} // namespace

PocketSphinxStream::PocketSphinxStream(PocketSphinxEngine& engine, std::vector<std::string> vocabulary)
    : engine_(engine), vocabulary_(std::move(vocabulary)),
      primeSamples_(static_cast<size_t>(std::max(0, engine.config_.streamPrimeMs)) * 16),
      pauseSplit_(static_cast<size_t>(std::max(10, engine.config_.streamPauseSplitMs)) * 16),
      longUtterance_(static_cast<size_t>(std::max(0, engine.config_.streamLongUtteranceMs)) * 16),
      longPauseSplit_(static_cast<size_t>(std::max(10, engine.config_.streamLongPauseSplitMs)) * 16),
      nextPlanAt_(std::max<size_t>(primeSamples_, kFrame * 10)) {
    takeDecoder(false);
}

PocketSphinxStream::~PocketSphinxStream() {
    letGo();
}

void PocketSphinxStream::letGo() {
    endUtterance();
    if (fe_ != nullptr) {
        fe_free(fe_);
        fe_ = nullptr;
    }
    if (decoder_ != nullptr) {
        engine_.release(decoder_);
        decoder_ = nullptr;
    }
}

void PocketSphinxStream::takeDecoder(bool wait) {
    if (decoder_ != nullptr || error_) {
        return;
    }
    decoder_ = wait ? engine_.acquire() : engine_.tryAcquire();
    if (decoder_ == nullptr) {
        if (wait) {
            error_ = SttError{SttError::Kind::unavailable, "no free decoder"};
        }
        return;
    }
    // The vocabulary goes in now, before any audio is decoded.
    if (auto err = engine_.prepare(*decoder_, vocabulary_)) {
        error_ = *err;
    }
}

void PocketSphinxStream::feed(const int16_t* samples, size_t count) {
    audio_.insert(audio_.end(), samples, samples + count);
    if (error_) {
        return;
    }
    takeDecoder(false);
    if (decoder_ == nullptr || error_) {
        return;
    }
    if (!started_) {
        tryStart();
    }
    if (started_) {
        classifyFrames(false);
        decodeUpTo(std::min(audio_.size(), keepUntil_));
        size_t split =
            longUtterance_ > 0 && keepUntil_ >= utteranceStart_ + longUtterance_ ? longPauseSplit_ : pauseSplit_;
        if (inUtterance_ && decoded_ >= keepUntil_ && classified_ * kFrame >= keepUntil_ + split) {
            closeSegment();
        }
    }
}

void PocketSphinxStream::closeSegment() {
    inUtterance_ = false;
    ps_decoder_t* ps = decoder_->ps;
    if (ps_end_utt(ps) < 0) {
        error_ = SttError{SttError::Kind::failed, "pocketsphinx decode failed"};
        return;
    }
    int32 score = 0;
    std::string words = PocketSphinxEngine::cleanHypothesis(ps_get_hyp(ps, &score));
    if (!words.empty()) {
        text_ += text_.empty() ? "" : " ";
        text_ += words;
    }
}

// Speech after a closed segment: a new utterance from the silence margin before it.
void PocketSphinxStream::openSegment(size_t firstVoicedFrame) {
    size_t start = firstVoicedFrame * kFrame;
    decoded_ = std::max(decoded_, start > kKeep ? start - kKeep : 0);
    utteranceStart_ = decoded_;
    if (fe_start_utt(fe_) < 0 || ps_start_utt(decoder_->ps) < 0) {
        error_ = SttError{SttError::Kind::failed, "pocketsphinx stream could not start"};
        return;
    }
    inUtterance_ = true;
}

void PocketSphinxStream::tryStart() {
    if (audio_.size() < nextPlanAt_) {
        return;
    }
    if (engine_.config_.conditionAudio) {
        plan_ = planConditioning(audio_);
        if (!plan_.speech) {
            // Growing steps: a long silence is planned over O(log n) times, not every half second.
            nextPlanAt_ = audio_.size() + std::max(kReplanEvery, audio_.size() / 4);
            return;
        }
        size_t onset = plan_.firstVoiced * kFrame;
        if (audio_.size() < onset + kAfterOnset) {
            nextPlanAt_ = onset + kAfterOnset;
            return;
        }
    } else {
        plan_ = ConditioningPlan{};
        plan_.thresholdDb = -std::numeric_limits<double>::infinity(); // every frame kept
    }

    ps_decoder_t* ps = decoder_->ps;
    fe_ = fe_init_auto_r(ps_get_config(ps));
    feat_t* feat = ps_get_feat(ps);
    if (fe_ == nullptr || feat == nullptr || fe_get_output_size(fe_) != feat->cmn_struct->veclen ||
        fe_start_utt(fe_) < 0 || ps_start_utt(ps) < 0) {
        error_ = SttError{SttError::Kind::failed, "pocketsphinx stream could not start"};
        return;
    }
    // Block-wise decoding switches the feature computation to the running mean; put back whatever the
    // whole-recording path uses when the stream is done.
    savedCmn_ = static_cast<int>(feat->cmn);
    feat->cmn = CMN_LIVE;
    cepSum_.assign(static_cast<size_t>(fe_get_output_size(fe_)), 0.0);
    started_ = true;
    inUtterance_ = true;
    decoded_ = plan_.begin;
    utteranceStart_ = decoded_;
    classified_ = plan_.begin / kFrame;
    keepUntil_ = decoded_;
}

// Decides frame by frame what is speech, the way the whole-recording trim does (two of three frames
// above the threshold); everything up to the last speech plus the silence margin may be decoded.
void PocketSphinxStream::classifyFrames(bool atEnd) {
    size_t frames = audio_.size() / kFrame;
    while (classified_ < frames) {
        size_t f = classified_;
        if (!atEnd && f + 3 > frames) {
            break;
        }
        size_t run = 0;
        for (size_t k = f; k < std::min(frames, f + 3); ++k) {
            run += frameEnergyDb(audio_.data() + k * kFrame, kFrame, plan_.dc) > plan_.thresholdDb ? 1 : 0;
        }
        if (run >= 2) {
            if (!inUtterance_ && !error_) {
                openSegment(f);
            }
            keepUntil_ = std::max(keepUntil_, (f + 1) * kFrame + kKeep);
        }
        ++classified_;
    }
    if (atEnd && !engine_.config_.conditionAudio) {
        keepUntil_ = audio_.size();
    }
}

void PocketSphinxStream::decodeUpTo(size_t end) {
    ps_decoder_t* ps = decoder_->ps;
    cmn_t* cmn = ps_get_feat(ps)->cmn_struct;
    const size_t veclen = cepSum_.size();
    std::vector<mfcc_t> cep;
    std::vector<mfcc_t*> rows;
    std::vector<mfcc_t> mean(veclen);
    while (decoded_ < end && !error_) {
        size_t n = std::min(end - decoded_, kMaxPiece);
        scratch_.clear();
        applyConditioning(plan_, audio_.data() + decoded_, n, decoded_, scratch_);

        // The cepstra of this piece, from our own front end, so the mean is known before the decoder
        // normalises them.
        size_t capacity = n / kFrame + 2;
        cep.assign(capacity * veclen, 0);
        rows.resize(capacity);
        for (size_t r = 0; r < capacity; ++r) {
            rows[r] = cep.data() + r * veclen;
        }
        const int16_t* in = scratch_.data();
        size_t left = n;
        int32 produced = static_cast<int32>(capacity);
        if (fe_process_frames(fe_, &in, &left, rows.data(), &produced, nullptr) < 0) {
            error_ = SttError{SttError::Kind::failed, "pocketsphinx front end failed"};
            return;
        }
        for (int32 r = 0; r < produced; ++r) {
            for (size_t j = 0; j < veclen; ++j) {
                cepSum_[j] += static_cast<double>(rows[static_cast<size_t>(r)][j]);
            }
        }
        cepFrames_ += static_cast<size_t>(produced);
        if (cepFrames_ > 0) {
            for (size_t j = 0; j < veclen; ++j) {
                mean[j] = static_cast<mfcc_t>(cepSum_[j] / double(cepFrames_));
            }
            cmn_live_set(cmn, mean.data());
        }
        if (ps_process_raw(ps, scratch_.data(), n, FALSE, FALSE) < 0) {
            error_ = SttError{SttError::Kind::failed, "pocketsphinx decode failed"};
            return;
        }
        decoded_ += n;
    }
}

void PocketSphinxStream::endUtterance() {
    if (!started_) {
        return;
    }
    started_ = false;
    if (inUtterance_) {
        inUtterance_ = false;
        ps_end_utt(decoder_->ps);
    }
    ps_get_feat(decoder_->ps)->cmn = static_cast<cmn_type_t>(savedCmn_);
}

SttResult PocketSphinxStream::finish() {
    SttResult result = decodeRest();
    letGo(); // the decoder goes back to the pool as soon as the text is known
    error_ = SttError{SttError::Kind::failed, "stream already finished"};
    return result;
}

SttResult PocketSphinxStream::decodeRest() {
    takeDecoder(true);
    if (error_) {
        return *error_;
    }
    if (!started_) {
        // Too short to have started: the whole-recording path, with the decoder already prepared.
        return engine_.transcribeWith(*decoder_, PcmAudio{audio_}, SttMode::dictation);
    }
    classifyFrames(true);
    decodeUpTo(std::min(audio_.size(), keepUntil_));
    if (inUtterance_ && !error_) {
        closeSegment();
    }
    if (error_) {
        return *error_;
    }
    return SttText{text_};
}

} // namespace vokari::server
