#pragma once
// What the dictation controller needs to keep a recording whose request failed, and to retry it later.
// Called on the main thread; the work behind it happens elsewhere. KeptRecordings implements it.
#include "app/DictationSession.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vokari {

class RecordingKeeper {
public:
    using AudioLoaded = std::function<void(std::optional<std::vector<std::uint8_t>>)>;
    virtual ~RecordingKeeper() = default;
    // The session's samples are encoded and written off the main thread; `error` is what the user was shown.
    virtual void keep(std::shared_ptr<DictationSession> session, std::string error) = 0;
    // A kept recording's WAV, delivered on the main queue; nothing when it is gone or damaged.
    virtual void loadAudio(const std::string& id, AudioLoaded done) = 0;
    // A retry turned it into text: the recording goes.
    virtual void discard(const std::string& id) = 0;
};

} // namespace vokari
