#pragma once
// Recordings whose dictation request failed, kept on disk until a retry succeeds: one WAV and a small JSON
// description ("time", "duration", "error") beside it per recording, both 0600 and written atomically, in a
// 0700 directory. Listed newest first; at most `maxCount` recordings and `maxBytes` bytes, the oldest dropped.
// Blocking file work: call it off the main thread. Any thread (one lock per store object); the app and vokarictl
// may share the directory, as every step tolerates a file that another process removed meanwhile.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vokari {

struct UnsentRecording {
    std::string id; // the file name without extension; unique within the directory
    std::filesystem::path wavPath;
    std::chrono::system_clock::time_point time;
    double durationSeconds = 0;
    std::string error; // the message the user was shown when the request failed
    std::uint64_t bytes = 0;
};

class UnsentRecordings {
public:
    static constexpr std::size_t defaultMaxCount = 20;
    static constexpr std::uint64_t defaultMaxBytes = 200ull * 1024 * 1024;

    // $XDG_DATA_HOME/vokari/unsent (else ~/.local/share/vokari/unsent).
    static std::filesystem::path defaultDirectory();

    explicit UnsentRecordings(std::filesystem::path directory, std::size_t maxCount = defaultMaxCount,
                              std::uint64_t maxBytes = defaultMaxBytes);

    struct Listing {
        std::vector<UnsentRecording> recordings; // newest first
        std::vector<std::string> problems;       // one sentence per damaged or unreadable entry (skipped)
    };

    // Writes the recording, then drops the oldest beyond the limits (each drop is logged). The kept recording, or
    // why it could not be written.
    struct KeepResult {
        std::optional<UnsentRecording> kept;
        std::string problem;
        std::vector<std::string> dropped; // ids dropped to stay within the limits
    };
    KeepResult keep(const std::vector<std::uint8_t>& wav, double durationSeconds, const std::string& error,
                    std::chrono::system_clock::time_point when);

    Listing list() const;
    // The one recording with this id, or a sentence saying why it cannot be used.
    std::optional<UnsentRecording> find(const std::string& id, std::string* problem = nullptr) const;
    // The WAV bytes; nothing (and a sentence) when the file is gone or unreadable.
    std::optional<std::vector<std::uint8_t>> readAudio(const UnsentRecording& recording,
                                                       std::string* problem = nullptr) const;
    // Removes the WAV and its description; true when nothing of it is left.
    bool remove(const std::string& id);

    const std::filesystem::path& directory() const { return dir; }

    // Whether the bytes start with the header this app writes (16 kHz mono 16-bit PCM) and hold all the samples
    // the header announces.
    static bool looksLikeOurWav(const std::string& bytes);

private:
    std::optional<UnsentRecording> load(const std::filesystem::path& wavPath, std::string* problem) const;
    std::string freshId(std::chrono::system_clock::time_point when) const;
    std::vector<std::string> enforceLimits(const std::string& keepId);

    std::filesystem::path dir;
    std::size_t maxCount;
    std::uint64_t maxBytes;
    mutable std::mutex lock;
};

} // namespace vokari
