#include "app/UnsentRecordings.h"

#include "core/AtomicFile.h"
#include "core/DebugLog.h"
#include "core/JsonText.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sys/stat.h>

namespace vokari {
namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;

namespace {

constexpr unsigned kFileMode = 0600;

std::uint32_t le32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

std::uint16_t le16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

// "2026-12-06T17:38:35.123Z"
std::string isoTime(Clock::time_point when) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms % 1000));
    return text;
}

std::optional<Clock::time_point> parseIsoTime(const std::string& text) {
    std::tm utc{};
    int ms = 0;
    char zone = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c", &utc.tm_year, &utc.tm_mon, &utc.tm_mday,
                    &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &ms, &zone) != 8 ||
        zone != 'Z') {
        return std::nullopt;
    }
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    const std::time_t seconds = timegm(&utc);
    if (seconds == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return Clock::from_time_t(seconds) + std::chrono::milliseconds(ms);
}

fs::path descriptionFor(const fs::path& wav) {
    fs::path json = wav;
    return json.replace_extension(".json");
}

} // namespace

fs::path UnsentRecordings::defaultDirectory() {
    return xdgDataHome() / "vokari" / "unsent";
}

UnsentRecordings::UnsentRecordings(fs::path directory, std::size_t count, std::uint64_t bytes)
    : dir(std::move(directory)), maxCount(std::max<std::size_t>(1, count)), maxBytes(bytes) {}

namespace {

// The 44-byte header this app writes: 16 kHz mono 16-bit PCM.
bool headerIsOurs(const std::string& b) {
    if (b.size() < 44 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0 ||
        b.compare(12, 4, "fmt ") != 0 || b.compare(36, 4, "data") != 0) {
        return false;
    }
    return le16(b, 20) == 1 && le16(b, 22) == 1 && le32(b, 24) == 16000 && le16(b, 34) == 16;
}

} // namespace

bool UnsentRecordings::looksLikeOurWav(const std::string& b) {
    return headerIsOurs(b) && b.size() - 44 >= le32(b, 40);
}

// Names sort as their times do, so the directory reads newest first without opening every description.
std::string UnsentRecordings::freshId(Clock::time_point when) const {
    const std::string iso = isoTime(when); // 2026-12-06T17:38:35.123Z
    std::string base = iso.substr(0, 4) + iso.substr(5, 2) + iso.substr(8, 2) + "-" + iso.substr(11, 2) +
                       iso.substr(14, 2) + iso.substr(17, 2) + "-" + iso.substr(20, 3);
    std::string id = base;
    std::error_code ec;
    for (int n = 2; fs::exists(dir / (id + ".wav"), ec) || fs::exists(dir / (id + ".json"), ec); ++n) {
        id = base + "-" + std::to_string(n);
    }
    return id;
}

UnsentRecordings::KeepResult UnsentRecordings::keep(const std::vector<std::uint8_t>& wav, double durationSeconds,
                                                    const std::string& error, Clock::time_point when) {
    std::lock_guard guard(lock);
    KeepResult result;
    std::error_code ec;
    fs::create_directories(dir, ec);
    ::chmod(dir.c_str(), 0700);
    const std::string id = freshId(when);
    const fs::path wavPath = dir / (id + ".wav");
    // The audio first: a crash between the two writes leaves a WAV without a description, which is still listed.
    if (auto problem = writeFileAtomically(
            wavPath, std::string_view(reinterpret_cast<const char*>(wav.data()), wav.size()), kFileMode)) {
        result.problem = "cannot write " + wavPath.string() + ": " + *problem;
        return result;
    }
    nlohmann::json description = {{"time", isoTime(when)}, {"duration", durationSeconds}, {"error", error}};
    if (auto problem = writeFileAtomically(descriptionFor(wavPath), JsonText::serialize(description), kFileMode)) {
        debugLog("⚠️ Unsent recording " + id + " kept without its description: " + *problem);
    }
    result.kept = UnsentRecording{id, wavPath, when, durationSeconds, error, wav.size()};
    result.dropped = enforceLimits(id);
    return result;
}

std::vector<std::string> UnsentRecordings::enforceLimits(const std::string& keepId) {
    std::vector<std::string> dropped;
    Listing all;
    {
        // The caller holds the lock that list() would take, so the directory is read here directly.
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == ".wav") {
                std::string ignored;
                if (auto rec = load(it->path(), &ignored)) {
                    all.recordings.push_back(std::move(*rec));
                }
            }
        }
    }
    std::sort(all.recordings.begin(), all.recordings.end(),
              [](const UnsentRecording& a, const UnsentRecording& b) { return a.id > b.id; });
    std::uint64_t total = 0;
    std::size_t count = 0;
    for (const UnsentRecording& rec : all.recordings) {
        const bool fits = count < maxCount && total + rec.bytes <= maxBytes;
        if (fits || rec.id == keepId) {
            ++count;
            total += rec.bytes;
            continue;
        }
        std::error_code ec;
        fs::remove(rec.wavPath, ec);
        fs::remove(descriptionFor(rec.wavPath), ec);
        debugLog("🗑 Dropped the oldest unsent recording " + rec.id + " (at most " + std::to_string(maxCount) +
                 " recordings or " + std::to_string(maxBytes / (1024 * 1024)) + " MB are kept)");
        dropped.push_back(rec.id);
    }
    return dropped;
}

std::optional<UnsentRecording> UnsentRecordings::load(const fs::path& wavPath, std::string* problem) const {
    const std::string name = wavPath.filename().string();
    std::error_code ec;
    const auto size = fs::file_size(wavPath, ec);
    if (ec) {
        *problem = "Unsent recording " + name + " cannot be read: " + ec.message();
        return std::nullopt;
    }
    std::string header(44, '\0');
    std::ifstream in(wavPath, std::ios::binary);
    if (!in || !in.read(header.data(), 44)) {
        *problem = "Unsent recording " + name + " is unreadable or shorter than a WAV header — skipped";
        return std::nullopt;
    }
    // Only the header is read here; the samples it announces must all be in the file.
    if (!headerIsOurs(header) || size < 44 + static_cast<std::uintmax_t>(le32(header, 40))) {
        *problem = "Unsent recording " + name + " is not a complete 16 kHz mono WAV — skipped";
        return std::nullopt;
    }
    UnsentRecording rec;
    rec.id = wavPath.stem().string();
    rec.wavPath = wavPath;
    rec.bytes = size;
    rec.durationSeconds = le32(header, 40) / 2 / 16000.0;
    // Without a usable description the recording is still worth keeping: its file time stands in.
    const auto modified = fs::last_write_time(wavPath, ec);
    rec.time =
        ec ? Clock::now() : std::chrono::time_point_cast<Clock::duration>(std::chrono::file_clock::to_sys(modified));
    auto text = readWholeFile(descriptionFor(wavPath));
    auto object = text ? JsonText::parseObject(*text) : std::nullopt;
    if (!object) {
        *problem = "Unsent recording " + name + " has " + (text ? "a damaged" : "no") +
                   " description — listed with its file time";
        rec.error = "Not sent";
        return rec;
    }
    if (auto when = JsonText::string(*object, "time"); when && parseIsoTime(*when)) {
        rec.time = *parseIsoTime(*when);
    }
    if (auto it = object->find("duration"); it != object->end() && it->is_number()) {
        rec.durationSeconds = it->get<double>();
    }
    rec.error = JsonText::string(*object, "error").value_or("Not sent");
    return rec;
}

UnsentRecordings::Listing UnsentRecordings::list() const {
    std::lock_guard guard(lock);
    Listing listing;
    std::error_code ec;
    if (!fs::exists(dir, ec)) {
        return listing;
    }
    fs::directory_iterator it(dir, ec);
    if (ec) {
        listing.problems.push_back("The unsent recordings in " + dir.string() + " cannot be read: " + ec.message());
        return listing;
    }
    for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        if (path.extension() == ".wav") {
            std::string problem;
            if (auto rec = load(path, &problem)) {
                listing.recordings.push_back(std::move(*rec));
            }
            if (!problem.empty()) {
                listing.problems.push_back(problem);
            }
        } else if (path.extension() == ".json" && !fs::exists(fs::path(path).replace_extension(".wav"), ec)) {
            listing.problems.push_back("Unsent recording description " + path.filename().string() +
                                       " has no audio beside it — skipped");
        }
    }
    std::sort(listing.recordings.begin(), listing.recordings.end(),
              [](const auto& a, const auto& b) { return a.time != b.time ? a.time > b.time : a.id > b.id; });
    return listing;
}

std::optional<UnsentRecording> UnsentRecordings::find(const std::string& id, std::string* problem) const {
    std::string why;
    std::optional<UnsentRecording> found;
    if (id.empty() || id.find('/') != std::string::npos || id.front() == '.') {
        why = "No unsent recording is called \"" + id + "\"";
    } else {
        std::lock_guard guard(lock);
        found = load(dir / (id + ".wav"), &why);
        if (found) {
            why.clear(); // a missing description is no reason to refuse it
        }
    }
    if (problem) {
        *problem = why;
    }
    return found;
}

std::optional<std::vector<std::uint8_t>> UnsentRecordings::readAudio(const UnsentRecording& recording,
                                                                     std::string* problem) const {
    auto bytes = readWholeFile(recording.wavPath);
    if (!bytes || !looksLikeOurWav(*bytes)) {
        if (problem) {
            *problem = "Unsent recording " + recording.wavPath.filename().string() +
                       (bytes ? " is damaged" : " cannot be read");
        }
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

bool UnsentRecordings::remove(const std::string& id) {
    if (id.empty() || id.find('/') != std::string::npos || id.front() == '.') {
        return false;
    }
    std::lock_guard guard(lock);
    std::error_code wavError, jsonError;
    fs::remove(dir / (id + ".wav"), wavError);
    fs::remove(dir / (id + ".json"), jsonError);
    return !wavError && !jsonError;
}

} // namespace vokari
