// The two audio endpoints: "/process" (dictation) and "/command" (a spoken command turned into actions).
#include "command/CommandPlanner.h"
#include "core/TimeFormat.h"
#include "http/Handlers.h"
#include "http/HttpUtil.h"
#include "refine/VocabularyMatcher.h"

#include <chrono>
#include <cstdio>

namespace vokari::server {
namespace {

using SteadyClock = std::chrono::steady_clock;

int64_t msSince(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

double fractionalMsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

std::string partValue(const httplib::Request& req, const char* name) {
    return req.has_file(name) ? req.get_file_value(name).content : std::string();
}

// Validates the "audio" part; answers 400 and returns nullopt when it is missing or not our WAV.
std::optional<PcmAudio> requireAudio(const httplib::Request& req, httplib::Response& res) {
    if (!req.has_file("audio")) {
        sendError(res, 400, "missing audio");
        return std::nullopt;
    }
    auto wav = readWav(req.get_file_value("audio").content);
    if (auto* err = std::get_if<WavError>(&wav)) {
        sendError(res, 400, err->message);
        return std::nullopt;
    }
    return std::move(std::get<PcmAudio>(wav));
}

// Runs the engine; answers 503/500 and returns nullopt on failure.
std::optional<std::string> transcribe(ServerContext& ctx, const PcmAudio& audio,
                                      const std::vector<std::string>& vocabulary, SttMode mode,
                                      httplib::Response& res) {
    if (ctx.engine == nullptr) {
        sendError(res, 503, "transcription engine unavailable");
        return std::nullopt;
    }
    auto result = ctx.engine->transcribe(audio, vocabulary, mode);
    if (auto* err = std::get_if<SttError>(&result)) {
        answerEngineFailure(ctx, *err, res);
        return std::nullopt;
    }
    return std::get<SttText>(result).text;
}

void setTiming(httplib::Response& res, double engineMs, double totalMs) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "engine;dur=%.2f, total;dur=%.2f", engineMs, totalMs);
    res.set_header("Server-Timing", buf);
}

} // namespace

std::optional<int64_t> usedToday(ServerContext& ctx, const std::string& device) {
    if (ctx.dailyLimit <= 0) {
        return 0;
    }
    return ctx.db.usageOn(device, utcDay(ctx.clock.nowMs()));
}

void answerEngineFailure(ServerContext& ctx, const SttError& err, httplib::Response& res) {
    std::fprintf(stderr, "transcription failed (%s): %s\n", ctx.engine->name().c_str(), err.detail.c_str());
    if (err.kind == SttError::Kind::unavailable) {
        sendError(res, 503, "transcription engine unavailable");
    } else {
        sendError(res, 500, "processing failed");
    }
}

void answerDictation(ServerContext& ctx, const std::string& device, const std::string& raw,
                     const std::vector<std::string>& vocabulary, const Profile& profile, const std::string& source,
                     double engineMs, std::chrono::steady_clock::time_point start, httplib::Response& res) {
    std::string refined = ctx.refiner.refine(RefineInput{raw, profile.stylePreset, profile.customPrompt, vocabulary});
    const int64_t now = ctx.clock.nowMs();
    switch (ctx.db.recordProcess(device, raw, refined, source, now, utcDay(now), ctx.dailyLimit)) {
    case StoreOutcome::limitReached:
        sendError(res, 429, "daily limit reached");
        return;
    case StoreOutcome::failed:
        sendError(res, 500, "storage failed");
        return;
    case StoreOutcome::stored:
        break;
    }
    setTiming(res, engineMs, fractionalMsSince(start));
    sendJson(res, 200, {{"raw", raw}, {"refined", refined}, {"total_ms", msSince(start)}});
}

void handleProcess(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    const auto start = SteadyClock::now();
    auto device = requireDevice(req, res);
    if (!device) {
        return;
    }
    // Checked up front so a device over its limit costs no decoding; the store re-checks atomically.
    auto used = usedToday(ctx, *device);
    if (!used) {
        sendError(res, 500, "storage failed");
        return;
    }
    if (ctx.dailyLimit > 0 && *used >= ctx.dailyLimit) {
        sendError(res, 429, "daily limit reached");
        return;
    }
    auto audio = requireAudio(req, res);
    if (!audio) {
        return;
    }
    auto profile = ctx.db.profile(*device);
    if (!profile) {
        sendError(res, 500, "storage failed");
        return;
    }
    // The app sends its vocabulary with each request; the synced profile covers clients that do not.
    std::string vocabText = req.has_file("vocab") ? partValue(req, "vocab") : profile->vocab;
    auto vocabulary = parseVocabulary(vocabText);
    std::string source = partValue(req, "source").substr(0, 64);
    if (source.empty()) {
        source = "dictation";
    }

    const auto engineStart = SteadyClock::now();
    auto raw = transcribe(ctx, *audio, vocabulary, SttMode::dictation, res);
    if (!raw) {
        return;
    }
    answerDictation(ctx, *device, *raw, vocabulary, *profile, source, fractionalMsSince(engineStart), start, res);
}

void handleCommand(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    const auto start = SteadyClock::now();
    auto device = requireDevice(req, res);
    if (!device) {
        return;
    }
    auto audio = requireAudio(req, res);
    if (!audio) {
        return;
    }
    // The screenshot is accepted but the rule planner does not look at it.
    auto profile = ctx.db.profile(*device);
    auto vocabulary = parseVocabulary(profile ? profile->vocab : std::string());

    const auto engineStart = SteadyClock::now();
    auto transcript = transcribe(ctx, *audio, vocabulary, SttMode::command, res);
    if (!transcript) {
        return;
    }
    const int64_t whisperMs = msSince(engineStart);
    const double engineMs = fractionalMsSince(engineStart);
    const auto planStart = SteadyClock::now();
    auto actions = CommandPlanner::plan(*transcript);
    const int64_t planMs = msSince(planStart);
    ctx.db.touchDevice(*device, ctx.clock.nowMs());
    setTiming(res, engineMs, fractionalMsSince(start));
    sendJson(res, 200,
             {{"transcript", *transcript},
              {"whisper_ms", whisperMs},
              {"plan_ms", planMs},
              {"total_ms", msSince(start)},
              {"actions", actionsToJson(actions)}});
}

} // namespace vokari::server
