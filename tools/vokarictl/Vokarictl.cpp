#include "Vokarictl.h"

#include "Base64.h"
#include "app/DictationSession.h"
#include "app/ProfileMerge.h"
#include "app/UnsentRecordings.h"
#include "command/CommandActionJson.h"
#include "command/CommandClient.h"
#include "core/AtomicFile.h"
#include "core/DebugLog.h"
#include "core/EventLoopMainQueue.h"
#include "core/JsonFileDefaultsStore.h"
#include "core/JsonText.h"
#include "core/Settings.h"
#include "net/CurlTransport.h"
#include "platform/linux/secrets/SystemSecretStore.h"
#include "transport/LogShipper.h"
#include "transport/RefineClient.h"
#include "transport/VocabularyFile.h"

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace vokari {
namespace {

using Out = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;
constexpr auto kMaxWait = std::chrono::seconds(15);

struct UsageError {};

// What a command leaves behind once its completion has run on the main queue.
struct Outcome {
    bool done = false;
    Out json;
    int exitCode = Vokarictl::exitFailure;
};

Out errorJson(const std::string& message) {
    return Out{{"result", "error"}, {"message", message}};
}

void print(const Out& json) {
    std::string text = json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::optional<std::int64_t> parseInteger(const std::string& text) {
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

Out jsonOrNull(const std::optional<std::string>& s) {
    return s ? Out(*s) : Out(nullptr);
}

int wavCommand(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        throw UsageError{};
    }
    auto bytes = readWholeFile(args[1]);
    if (!bytes) {
        print(errorJson("Cannot read " + args[1]));
        return Vokarictl::exitFailure;
    }
    if (bytes->size() % 4 != 0) {
        print(errorJson(args[1] + " is not a whole number of 32-bit float samples"));
        return Vokarictl::exitFailure;
    }
    std::vector<float> samples(bytes->size() / 4);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes->data() + 4 * i);
        std::uint32_t bits = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
        std::memcpy(&samples[i], &bits, 4);
    }
    auto wav = DictationSession::encodeWAV(samples);
    if (auto error =
            writeFileAtomically(args[2], std::string_view(reinterpret_cast<const char*>(wav.data()), wav.size()))) {
        print(errorJson("Cannot write " + args[2] + ": " + *error));
        return Vokarictl::exitFailure;
    }
    print(Out{{"result", "success"}, {"samples", samples.size()}, {"bytes", wav.size()}});
    return Vokarictl::exitSuccess;
}

struct UnsentPick {
    std::optional<std::string> audio;
    std::optional<std::string> keptId; // set when the audio is one of the kept recordings
    std::string problem;
};

// The newest kept recording, or FILE (a kept one when it lies in the unsent directory).
UnsentPick pickUnsent(const UnsentRecordings& unsent, const std::vector<std::string>& args) {
    UnsentPick pick;
    namespace fs = std::filesystem;
    if (args.size() == 2) {
        const fs::path file = args[1];
        pick.audio = readWholeFile(file);
        if (!pick.audio) {
            pick.problem = "Cannot read " + args[1];
            return pick;
        }
        std::error_code ec;
        if (fs::weakly_canonical(fs::absolute(file), ec).parent_path() ==
            fs::weakly_canonical(unsent.directory(), ec)) {
            pick.keptId = file.stem().string();
        }
        return pick;
    }
    auto listing = unsent.list();
    for (const std::string& problem : listing.problems) {
        debugLog("⚠️ " + problem);
    }
    if (listing.recordings.empty()) {
        pick.problem = "No unsent recordings in " + unsent.directory().string();
        return pick;
    }
    const UnsentRecording& newest = listing.recordings.front();
    if (auto bytes = unsent.readAudio(newest, &pick.problem)) {
        pick.audio = std::string(bytes->begin(), bytes->end());
        pick.keptId = newest.id;
    }
    return pick;
}

Out transcriptsJson(const std::vector<Transcript>& list, bool hasMore) {
    Out items = Out::array();
    for (const auto& t : list) {
        items.push_back(Out{{"id", t.id}, {"raw", t.raw}, {"refined", t.refined}, {"created_at", t.createdAt}});
    }
    return Out{{"transcripts", items}, {"has_more", hasMore}};
}

Out commandJson(const CommandResult& result) {
    if (auto* error = std::get_if<CommandError>(&result)) {
        return errorJson(error->message);
    }
    const auto& plan = std::get<CommandSuccess>(result).response;
    Out actions = Out::array();
    for (const auto& action : plan.actions) {
        actions.push_back(CommandActionJson::encode(action));
    }
    return Out{{"result", "success"},          {"transcript", plan.transcript}, {"actions", actions},
               {"whisper_ms", plan.whisperMs}, {"plan_ms", plan.planMs},        {"total_ms", plan.totalMs}};
}

} // namespace

std::string Vokarictl::usage() {
    return "usage: vokarictl COMMAND [ARGS]\n"
           "  process FILE.wav [--source NAME]    dictation request; exit 0 success, 1 error, 3 daily limit\n"
           "  retry [FILE.wav]                    send the newest unsent recording (or FILE) as process does; a\n"
           "                                      success removes it from the unsent recordings\n"
           "  command FILE.wav SCREENSHOT.jpg     command request (screenshot sent as Base64)\n"
           "  history [--limit N] [--after ID]    one page of transcript history (limit 50 by default)\n"
           "  style PRESET [PROMPT]               store the style and push it\n"
           "  vocab \"WORDS\"                       write the local vocabulary file and push it\n"
           "  device-id                           print this device's identifier\n"
           "  wav IN.f32 OUT.wav                  encode raw little-endian float32 16 kHz samples as WAV\n"
           "The backend origin is " VOKARI_DEFAULT_BACKEND_URL " unless VOKARI_BACKEND_URL is set.\n";
}

int Vokarictl::run(const std::vector<std::string>& args) {
    try {
        if (args.empty()) {
            throw UsageError{};
        }
        const std::string& name = args[0];
        if (name == "wav") {
            return wavCommand(args);
        }
        // Validate every argument before anything touches the network or the settings.
        std::string source = "dictation";
        std::optional<std::int64_t> after;
        std::int64_t limit = 50;
        if (name == "process") {
            if (args.size() == 4 && args[2] == "--source") {
                source = args[3];
            } else if (args.size() != 2) {
                throw UsageError{};
            }
        } else if (name == "retry") {
            if (args.size() > 2) {
                throw UsageError{};
            }
        } else if (name == "command") {
            if (args.size() != 3) {
                throw UsageError{};
            }
        } else if (name == "history") {
            for (std::size_t i = 1; i < args.size(); i += 2) {
                if (i + 1 >= args.size()) {
                    throw UsageError{};
                }
                auto value = parseInteger(args[i + 1]);
                if (!value || (args[i] != "--limit" && args[i] != "--after")) {
                    throw UsageError{};
                }
                (args[i] == "--limit" ? limit : after.emplace()) = *value;
            }
        } else if (name == "style") {
            if (args.size() != 2 && args.size() != 3) {
                throw UsageError{};
            }
        } else if (name == "vocab") {
            if (args.size() != 2) {
                throw UsageError{};
            }
        } else if (name != "device-id" || args.size() != 1) {
            throw UsageError{};
        }

        std::optional<std::string> audio, screenshot;
        if (name == "process" || name == "command") {
            audio = readWholeFile(args[1]);
            if (!audio) {
                print(errorJson("Cannot read " + args[1]));
                return exitFailure;
            }
        }
        if (name == "command") {
            screenshot = readWholeFile(args[2]);
            if (!screenshot) {
                print(errorJson("Cannot read " + args[2]));
                return exitFailure;
            }
        }

        auto started = Clock::now();
        debuglog::setConsole(stderr);
        // The temporary log follows $TMPDIR when it is set, so scripted and test runs keep their logs apart;
        // otherwise it is the app's own /tmp/vk-debug.log.
        if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp == '/') {
            debuglog::setPaths(homeDirectory() / ".vokari.log", std::filesystem::path(tmp) / "vk-debug.log");
        }
        // A kept recording leaves the unsent directory only once it has been turned into text.
        std::optional<std::string> keptId;
        UnsentRecordings unsent(UnsentRecordings::defaultDirectory());
        if (name == "retry") {
            auto picked = pickUnsent(unsent, args);
            if (!picked.audio) {
                print(errorJson(picked.problem));
                return exitFailure;
            }
            audio = std::move(picked.audio);
            keptId = std::move(picked.keptId);
        }
        JsonFileDefaultsStore store(JsonFileDefaultsStore::defaultPath(),
                                    [](const std::string& line) { debugLog(line); });
        auto queue = std::make_shared<EventLoopMainQueue>();
        auto transport = std::make_shared<CurlTransport>();
        RefineClientConfig clientConfig;
        clientConfig.transport = transport;
        clientConfig.secrets = SystemSecretStore::make();
        clientConfig.defaults = &store;
        // Applied where the answer lands: nothing else here reads the settings meanwhile, and the store is
        // safe from any thread.
        clientConfig.onProfile = [&store](const nlohmann::json& profile) {
            Settings settings(store);
            applyProfile(profile, settings, VocabularyFile::defaultPath());
        };
        std::shared_ptr<RefineClient> client;
        LogShipperConfig shipperConfig;
        shipperConfig.transport = transport;
        shipperConfig.mainQueue = queue;
        // Lines logged while the identifier settles wait in the shipper until it is known.
        auto knownId = std::make_shared<std::atomic<bool>>(false);
        auto id = std::make_shared<std::string>();
        shipperConfig.deviceId = [knownId, id]() -> std::optional<std::string> {
            return knownId->load() ? std::optional<std::string>(*id) : std::nullopt;
        };
        auto shipper = LogShipper::create(std::move(shipperConfig));
        debuglog::setSink(shipper);
        // The log's sink lets go of the shipper (and with it the transport) before this scope ends.
        struct SinkReset {
            ~SinkReset() { debuglog::setSink(nullptr); }
        } sinkReset;
        client = RefineClient::create(std::move(clientConfig));
        *id = client->currentDeviceId();
        knownId->store(true);

        auto outcome = std::make_shared<Outcome>();
        // Completions arrive on the transport's thread; the outcome is settled on the main queue.
        auto settle = [queue, outcome](Out json, int code) {
            queue->post([outcome, json = std::move(json), code] {
                outcome->json = json;
                outcome->exitCode = code;
                outcome->done = true;
            });
        };
        auto syncDone = [settle](std::optional<TransportError> error) {
            if (error) {
                settle(errorJson(RefineClient::userFriendlyError(error)), exitFailure);
            } else {
                settle(Out{{"result", "success"}}, exitSuccess);
            }
        };
        std::vector<std::uint8_t> audioBytes;
        if (audio) {
            audioBytes.assign(audio->begin(), audio->end());
        }

        if (name == "process" || name == "retry") {
            client->process(std::move(audioBytes), source, [settle](ProcessResult result) {
                if (auto* ok = std::get_if<ProcessSuccess>(&result)) {
                    settle(
                        Out{{"result", "success"}, {"raw", jsonOrNull(ok->raw)}, {"refined", jsonOrNull(ok->refined)}},
                        exitSuccess);
                } else if (auto* error = std::get_if<ProcessError>(&result)) {
                    settle(errorJson(error->message), exitFailure);
                } else {
                    settle(Out{{"result", "rateLimited"}}, exitRateLimited);
                }
            });
        } else if (name == "command") {
            CommandClient(transport, client->baseURL(), client->currentDeviceId())
                .sendCommand(std::move(audioBytes), base64Encode(*screenshot), [settle](CommandResult result) {
                    bool ok = std::holds_alternative<CommandSuccess>(result);
                    settle(commandJson(result), ok ? exitSuccess : exitFailure);
                });
        } else if (name == "history") {
            // "No history" and "backend down" both come back as an empty page; only the second is an error here.
            auto failure = std::make_shared<std::optional<std::string>>();
            client->fetchTranscripts(
                after, limit,
                [settle, failure](std::vector<Transcript> list, bool hasMore) {
                    if (*failure) {
                        settle(errorJson(**failure), exitFailure);
                    } else {
                        settle(transcriptsJson(list, hasMore), exitSuccess);
                    }
                },
                [failure](const std::string& message) { *failure = message; });
        } else if (name == "style") {
            // As the settings view does: "custom" carries the prompt, any other preset an empty one. Without a
            // PROMPT, "custom" pushes the prompt already stored instead of wiping it.
            Settings settings(store);
            const std::string& preset = args[1];
            std::string prompt;
            if (preset == "custom") {
                prompt = args.size() == 3 ? args[2] : settings.customPrompt();
                settings.setCustomPrompt(prompt);
            }
            settings.setStylePreset(preset);
            client->syncStyle(preset, prompt, syncDone);
        } else if (name == "vocab") {
            client->saveVocabLocally(args[1]);
            client->syncVocab(args[1], syncDone);
        } else {
            settle(Out{{"device_id", client->currentDeviceId()}}, exitSuccess);
        }

        auto remaining = [started] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                std::max(Clock::duration::zero(), kMaxWait - (Clock::now() - started)));
        };
        if (!queue->runUntil([outcome] { return outcome->done; }, remaining())) {
            // Our own cap, not a network time-out: the request itself may still be under way.
            outcome->json = errorJson("No answer within 15 s — the request may still complete on the server");
            outcome->exitCode = exitFailure;
        }
        if (keptId && outcome->exitCode == exitSuccess && unsent.remove(*keptId)) {
            debugLog("🗑 Unsent recording " + *keptId + " removed after its retry");
        }
        // Registration, the profile fetch and any log shipment finish too before the process ends.
        transport->waitIdle(remaining());
        print(outcome->json);
        return outcome->exitCode;
    } catch (const UsageError&) {
        std::fputs(usage().c_str(), stderr);
        return exitUsage;
    }
}

} // namespace vokari
