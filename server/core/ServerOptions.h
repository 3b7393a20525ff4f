#pragma once
// Command-line options of vokari-server and their parser.
// Parsed once on the main thread before anything starts; the result is a plain value owned by main().
// Bad arguments come back as an error text, never as an exception.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vokari::server {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 8790;
    std::string dataDir;       // empty until resolved from the environment
    int64_t dailyLimit = 1000; // 0 = no limit
    std::string stt = "pocketsphinx";
    std::string sttUrl; // base URL of an OpenAI-compatible server
    std::string sttModel = "whisper-1";
    std::string refiner = "rules";
    std::string llmUrl;
    std::string llmModel = "gpt-4o-mini";
    std::string apiKeyEnv = "OPENAI_API_KEY";
    std::string releasesDir;
    std::string publicUrl; // origin clients reach the server at, for download links; empty = the listen address
    std::string modelDir;  // pocketsphinx model directory; empty = the Debian model
    int threads = 8;       // HTTP worker threads
    int decoders = 2;      // pooled pocketsphinx decoders
    bool streaming = true; // --no-stream: /process/stream answers 404
    bool showHelp = false;
};

struct OptionsError {
    std::string message;
};

// Parses argv (without argv[0]); `env` looks up environment variables (injectable for tests).
using EnvLookup = std::optional<std::string> (*)(const char* name);
std::variant<ServerOptions, OptionsError> parseServerOptions(const std::vector<std::string>& args,
                                                             EnvLookup env = nullptr);

// Where clients reach this server (no trailing slash): --public-url, else http://HOST:PORT of the
// listen address with the port actually bound. Download links are built on it, never on a request's Host.
std::string publicOrigin(const ServerOptions& options, int boundPort);

// The text printed by --help.
std::string serverUsage();

// Default data directory: $XDG_DATA_HOME/vokari-server, else $HOME/.local/share/vokari-server.
std::string defaultDataDir(EnvLookup env);

} // namespace vokari::server
