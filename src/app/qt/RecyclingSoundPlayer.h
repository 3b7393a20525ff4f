#pragma once
// Plays through a sound player made by a factory, and swaps it for a fresh one once the sounds have been quiet
// for a while. Qt 6.4's QSoundEffect keeps its audio sink ticking (tens of wake-ups a second, for good) once an
// effect has played more than once; a fresh, unplayed player is silent, so the idle app stays idle.
// Main thread. Owned by the application delegate (create()), shared with the dictation controller.
#include "desktop/SoundPlayer.h"
#include "core/MainQueue.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace vokari {

class RecyclingSoundPlayer : public SoundPlayer, public std::enable_shared_from_this<RecyclingSoundPlayer> {
public:
    using Factory = std::function<std::unique_ptr<SoundPlayer>()>;
    // Longer than any of the feedback sounds, so none is cut off.
    static constexpr double defaultQuietSeconds = 3.0;

    // Makes the first player at once, so the first sound does not wait for loading.
    static std::shared_ptr<RecyclingSoundPlayer> create(MainQueue& queue, Factory factory,
                                                        double quietSeconds = defaultQuietSeconds);
    ~RecyclingSoundPlayer() override;

    void play(const std::string& name) override;
    // Players made so far (1 after construction).
    std::uint64_t playersMade() const { return made; }

private:
    RecyclingSoundPlayer(MainQueue& queue, Factory factory, double quietSeconds);
    void recycle(std::uint64_t playsAtSchedule);

    MainQueue& queue;
    Factory factory;
    double quietSeconds;
    std::unique_ptr<SoundPlayer> player;
    std::uint64_t plays = 0;
    std::uint64_t made = 0;
    TaskHandle pendingRecycle;
};

} // namespace vokari
