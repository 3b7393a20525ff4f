#include "core/JsonFileDefaultsStore.h"

#include "core/AtomicFile.h"

#include <chrono>

namespace vokari {

JsonFileDefaultsStore::JsonFileDefaultsStore(std::filesystem::path path, LogFn logFn)
    : filePath(std::move(path)), log(std::move(logFn)) {}

std::filesystem::path JsonFileDefaultsStore::defaultPath() {
    return xdgConfigHome() / "vokari" / "settings.json";
}

JsonFileDefaultsStore::Stamp JsonFileDefaultsStore::currentStamp() const {
    std::error_code ec;
    Stamp s;
    auto st = std::filesystem::status(filePath, ec);
    if (ec || !std::filesystem::exists(st)) {
        return s;
    }
    s.exists = true;
    s.mtime = std::filesystem::last_write_time(filePath, ec);
    s.size = std::filesystem::file_size(filePath, ec);
    return s;
}

void JsonFileDefaultsStore::refreshLocked(std::vector<std::string>& logLines) const {
    Stamp stamp = currentStamp();
    if (loadedOnce && stamp == loadedStamp) {
        return;
    }
    loadedOnce = true;
    loadedStamp = stamp;
    corrupt = false;
    values = nlohmann::json::object();
    if (!stamp.exists) {
        return;
    }
    auto text = readWholeFile(filePath);
    if (!text) {
        logLines.push_back("⚠️ Settings file could not be read: " + filePath.string());
        corrupt = true;
        return;
    }
    if (text->find_first_not_of(" \t\r\n") == std::string::npos) {
        return;
    }
    auto parsed = nlohmann::json::parse(*text, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        logLines.push_back("⚠️ Settings file is not a JSON object, using defaults: " + filePath.string());
        corrupt = true;
        return;
    }
    values = std::move(parsed);
}

void JsonFileDefaultsStore::writeLocked(std::vector<std::string>& logLines) {
    if (corrupt) {
        // A unique name, so a second unreadable file never replaces the copy of the first.
        auto aside = filePath;
        aside += ".corrupt-" + std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                                  std::chrono::system_clock::now().time_since_epoch())
                                                  .count());
        std::error_code ec;
        std::filesystem::rename(filePath, aside, ec);
        logLines.push_back(
            ec ? "⚠️ Settings: replacing unreadable settings file (could not keep a copy: " + ec.message() + ")"
               : "⚠️ Settings: unreadable settings file kept as " + aside.string());
        corrupt = false;
    }
    // Strings that are not valid UTF-8 (from argv, the OS) are stored with U+FFFD rather than failing the write.
    auto text = values.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    if (auto err = writeFileAtomically(filePath, text, 0600)) {
        // Say where and why, and that nothing of the old file was touched (the write goes to a temporary file).
        logLines.push_back("⚠️ Settings could not be saved to " + filePath.string() + " (" + *err +
                           ") — the previous settings file is unchanged");
        loadedOnce = false; // re-read next time rather than trust a cache the file does not hold
        return;
    }
    loadedStamp = currentStamp();
}

void JsonFileDefaultsStore::logAll(const std::vector<std::string>& lines) const {
    if (log) {
        for (const auto& l : lines) {
            log(l);
        }
    }
}

std::optional<nlohmann::json> JsonFileDefaultsStore::object(const std::string& key) const {
    std::vector<std::string> lines;
    std::optional<nlohmann::json> result;
    {
        std::lock_guard lock(mutex);
        refreshLocked(lines);
        if (auto it = values.find(key); it != values.end()) {
            result = *it;
        }
    }
    logAll(lines);
    return result;
}

void JsonFileDefaultsStore::write(const std::string& key, const nlohmann::json& value) {
    std::vector<std::string> lines;
    {
        std::lock_guard lock(mutex);
        refreshLocked(lines);
        values[key] = value;
        writeLocked(lines);
    }
    logAll(lines);
}

void JsonFileDefaultsStore::erase(const std::string& key) {
    std::vector<std::string> lines;
    {
        std::lock_guard lock(mutex);
        refreshLocked(lines);
        if (values.erase(key) != 0) {
            writeLocked(lines);
        }
    }
    logAll(lines);
}

} // namespace vokari
