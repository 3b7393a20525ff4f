#include "core/ServerOptions.h"

#include <charconv>
#include <cstdlib>
#include <thread>

namespace vokari::server {
namespace {

std::optional<std::string> realEnv(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') {
        return std::nullopt;
    }
    return std::string(v);
}

std::optional<int64_t> toInt(const std::string& s) {
    int64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || s.empty()) {
        return std::nullopt;
    }
    return v;
}

// Splits HOST:PORT; a bare ":PORT" or "PORT" keeps the default host. IPv6 hosts go in brackets.
std::optional<OptionsError> parseListen(const std::string& value, ServerOptions& o) {
    auto colon = value.rfind(':');
    std::string host = colon == std::string::npos ? o.host : value.substr(0, colon);
    std::string port = colon == std::string::npos ? value : value.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    auto p = toInt(port);
    if (!p || *p < 0 || *p > 65535) {
        return OptionsError{"--listen: expected HOST:PORT with a port from 0 to 65535, got \"" + value + "\""};
    }
    if (!host.empty()) {
        o.host = host;
    }
    o.port = static_cast<int>(*p);
    return std::nullopt;
}

} // namespace

std::string defaultDataDir(EnvLookup env) {
    if (env == nullptr) {
        env = realEnv;
    }
    if (auto xdg = env("XDG_DATA_HOME")) {
        return *xdg + "/vokari-server";
    }
    if (auto home = env("HOME")) {
        return *home + "/.local/share/vokari-server";
    }
    return "./vokari-server-data";
}

std::string publicOrigin(const ServerOptions& options, int boundPort) {
    if (!options.publicUrl.empty()) {
        return options.publicUrl;
    }
    bool v6 = options.host.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + options.host + "]" : options.host) + ":" + std::to_string(boundPort);
}

std::string serverUsage() {
    return R"(Usage: vokari-server [OPTIONS]

Reference backend for the Vokari dictation app: transcription, refinement, command plans,
profiles, history and update checks over HTTP.

Options:
  --listen HOST:PORT     address to listen on (default 127.0.0.1:8790; port 0 picks a free one)
  --data DIR             data directory holding vokari.db
                         (default $XDG_DATA_HOME/vokari-server or ~/.local/share/vokari-server)
  --daily-limit N        /process requests per device per UTC day (default 1000, 0 = no limit)
  --stt ENGINE           transcription engine: pocketsphinx (default) or openai
  --stt-url URL          base URL of an OpenAI-compatible transcription server (for --stt openai)
  --stt-model NAME       transcription model name (default whisper-1)
  --model-dir DIR        pocketsphinx model directory (default the Debian en-us model)
  --decoders N           pooled pocketsphinx decoders (default 2)
  --refiner ENGINE       text refinement: rules (default) or openai
  --llm-url URL          base URL of an OpenAI-compatible chat server (for --refiner openai)
  --llm-model NAME       chat model name (default gpt-4o-mini)
  --api-key-env NAME     environment variable holding the API key (default OPENAI_API_KEY)
  --releases DIR         directory with manifest.json and the release files served under /downloads/
  --public-url URL       origin clients reach this server at, used in download links
                         (default http://HOST:PORT of --listen)
  --threads N            HTTP worker threads (default 8)
  --no-stream            answer /process/stream with 404, as a server without streaming does
  --help                 show this text and exit
)";
}

std::variant<ServerOptions, OptionsError> parseServerOptions(const std::vector<std::string>& args, EnvLookup env) {
    ServerOptions o;
    o.decoders = static_cast<int>(std::max(2u, std::min(4u, std::thread::hardware_concurrency())));
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.showHelp = true;
            continue;
        }
        if (a == "--no-stream") {
            o.streaming = false;
            continue;
        }
        std::string name = a;
        std::optional<std::string> inlineValue;
        if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            inlineValue = a.substr(eq + 1);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) {
                return inlineValue;
            }
            if (i + 1 >= args.size()) {
                return std::nullopt;
            }
            return args[++i];
        };
        auto needInt = [&](int64_t min, int64_t max, int64_t& out) -> std::optional<OptionsError> {
            auto v = value();
            auto n = v ? toInt(*v) : std::nullopt;
            if (!n || *n < min || *n > max) {
                return OptionsError{name + ": expected an integer from " + std::to_string(min) + " to " +
                                    std::to_string(max)};
            }
            out = *n;
            return std::nullopt;
        };
        static const std::vector<std::pair<std::string, std::string ServerOptions::*>> stringOptions = {
            {"--data", &ServerOptions::dataDir},         {"--stt-url", &ServerOptions::sttUrl},
            {"--stt-model", &ServerOptions::sttModel},   {"--llm-url", &ServerOptions::llmUrl},
            {"--llm-model", &ServerOptions::llmModel},   {"--api-key-env", &ServerOptions::apiKeyEnv},
            {"--releases", &ServerOptions::releasesDir}, {"--public-url", &ServerOptions::publicUrl},
            {"--model-dir", &ServerOptions::modelDir},   {"--stt", &ServerOptions::stt},
            {"--refiner", &ServerOptions::refiner},
        };
        bool handled = false;
        for (const auto& [optName, member] : stringOptions) {
            if (name == optName) {
                auto v = value();
                if (!v || v->empty()) {
                    return OptionsError{name + ": missing value"};
                }
                o.*member = *v;
                handled = true;
            }
        }
        if (handled) {
            continue;
        }
        if (name == "--listen") {
            auto v = value();
            if (!v) {
                return OptionsError{"--listen: missing value"};
            }
            if (auto err = parseListen(*v, o)) {
                return *err;
            }
        } else if (name == "--daily-limit") {
            if (auto err = needInt(0, 1'000'000'000, o.dailyLimit)) {
                return *err;
            }
        } else if (name == "--threads" || name == "--decoders") {
            int64_t n = 0;
            if (auto err = needInt(1, 64, n)) {
                return *err;
            }
            (name == "--threads" ? o.threads : o.decoders) = static_cast<int>(n);
        } else {
            return OptionsError{"unknown option \"" + a + "\" (see --help)"};
        }
    }
    if (o.stt != "pocketsphinx" && o.stt != "openai") {
        return OptionsError{"--stt: expected pocketsphinx or openai, got \"" + o.stt + "\""};
    }
    if (o.refiner != "rules" && o.refiner != "openai") {
        return OptionsError{"--refiner: expected rules or openai, got \"" + o.refiner + "\""};
    }
    if (o.stt == "openai" && o.sttUrl.empty()) {
        return OptionsError{"--stt openai needs --stt-url"};
    }
    if (o.refiner == "openai" && o.llmUrl.empty()) {
        return OptionsError{"--refiner openai needs --llm-url"};
    }
    for (const auto* url : {&o.sttUrl, &o.llmUrl}) {
        if (!url->empty() && url->rfind("http://", 0) != 0 && url->rfind("https://", 0) != 0) {
            return OptionsError{"expected an http:// or https:// URL, got \"" + *url + "\""};
        }
    }
    while (!o.publicUrl.empty() && o.publicUrl.back() == '/') {
        o.publicUrl.pop_back();
    }
    if (!o.publicUrl.empty()) {
        bool scheme = o.publicUrl.rfind("http://", 0) == 0 || o.publicUrl.rfind("https://", 0) == 0;
        size_t hostStart = o.publicUrl.find("//") + 2;
        bool hasHost = scheme && o.publicUrl.size() > hostStart && o.publicUrl[hostStart] != '/';
        bool clean = o.publicUrl.find_first_of("?#\"' \t\r\n") == std::string::npos;
        if (!hasHost || !clean) {
            return OptionsError{"--public-url: expected an http:// or https:// URL without query, got \"" +
                                o.publicUrl + "\""};
        }
    }
    if (o.dataDir.empty()) {
        o.dataDir = defaultDataDir(env);
    }
    return o;
}

} // namespace vokari::server
