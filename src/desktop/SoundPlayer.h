#pragma once
// Plays a short named sound ("Blow", "Glass", "Submarine", "Basso") without waiting for it; unknown names are
// ignored. Main thread. Implemented by the platform layer; tests use recording fakes.
#include <string>

namespace vokari {

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const std::string& name) = 0;
};

} // namespace vokari
