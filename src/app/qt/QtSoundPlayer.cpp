#include "app/qt/QtSoundPlayer.h"

#include <QSoundEffect>
#include <QUrl>

// Resources of a static library must be registered by name before first use.
static void initSoundResources() {
    Q_INIT_RESOURCE(vokari_sounds);
}

namespace vokari::x11 {

const std::vector<std::string>& QtSoundPlayer::soundNames() {
    static const std::vector<std::string> names = {"Blow", "Glass", "Submarine", "Basso"};
    return names;
}

std::string QtSoundPlayer::resourcePath(const std::string& name) {
    return ":/sounds/" + name + ".wav";
}

QtSoundPlayer::QtSoundPlayer() {
    initSoundResources();
    for (const auto& name : soundNames()) {
        auto effect = std::make_unique<QSoundEffect>();
        effect->setSource(QUrl(QString::fromStdString("qrc" + resourcePath(name))));
        effect->setVolume(0.6f);
        effects.emplace(name, std::move(effect));
    }
}

QtSoundPlayer::~QtSoundPlayer() = default;

void QtSoundPlayer::play(const std::string& name) {
    auto it = effects.find(name);
    if (it == effects.end()) {
        return;
    }
    // A sound started again while still playing restarts instead of being skipped.
    it->second->stop();
    it->second->play();
}

bool QtSoundPlayer::isLoaded(const std::string& name) const {
    auto it = effects.find(name);
    return it != effects.end() && it->second->status() == QSoundEffect::Ready;
}

bool QtSoundPlayer::isPlaying(const std::string& name) const {
    auto it = effects.find(name);
    return it != effects.end() && it->second->isPlaying();
}

} // namespace vokari::x11
