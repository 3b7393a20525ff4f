#pragma once
// Test double of the sound player: records each sound name with its time. Owned by the test.
#include "app/DesktopServices.h"
#include "core/MainQueue.h"

#include <vector>

namespace vokari::fakes {

class FakeSoundPlayer : public SoundPlayer {
public:
    struct Played {
        double at;
        std::string name;
    };

    explicit FakeSoundPlayer(const MainQueue& clock) : clock(clock) {}
    std::vector<Played> played;

    void play(const std::string& name) override { played.push_back({clock.now(), name}); }

    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& p : played) {
            out.push_back(p.name);
        }
        return out;
    }

private:
    const MainQueue& clock;
};

} // namespace vokari::fakes
