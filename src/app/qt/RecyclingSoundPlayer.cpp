#include "app/qt/RecyclingSoundPlayer.h"

namespace vokari {

std::shared_ptr<RecyclingSoundPlayer> RecyclingSoundPlayer::create(MainQueue& queue, Factory factory,
                                                                   double quietSeconds) {
    return std::shared_ptr<RecyclingSoundPlayer>(new RecyclingSoundPlayer(queue, std::move(factory), quietSeconds));
}

RecyclingSoundPlayer::RecyclingSoundPlayer(MainQueue& queue, Factory factory, double quietSeconds)
    : queue(queue), factory(std::move(factory)), quietSeconds(quietSeconds) {
    if (this->factory) {
        player = this->factory();
        ++made;
    }
}

RecyclingSoundPlayer::~RecyclingSoundPlayer() {
    pendingRecycle.cancel();
}

void RecyclingSoundPlayer::play(const std::string& name) {
    if (!player && factory) {
        player = factory();
        ++made;
    }
    if (!player) {
        return;
    }
    player->play(name);
    ++plays;
    pendingRecycle.cancel();
    std::weak_ptr<RecyclingSoundPlayer> weak = weak_from_this();
    pendingRecycle = queue.postAfter(quietSeconds, [weak, n = plays] {
        if (auto self = weak.lock()) {
            self->recycle(n);
        }
    });
}

void RecyclingSoundPlayer::recycle(std::uint64_t playsAtSchedule) {
    // A sound played since this was scheduled has its own, later recycle.
    if (playsAtSchedule != plays || !factory) {
        return;
    }
    player.reset();
    player = factory();
    ++made;
}

} // namespace vokari
