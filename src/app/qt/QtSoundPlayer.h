#pragma once
// Plays the app's own feedback sounds ("Blow", "Glass", "Submarine", "Basso", compiled in from
// resources/sounds) through Qt Multimedia. play() returns at once; the sound plays on Qt's audio thread.
// Main thread; needs a Qt application object. Owned by the app.
#include "desktop/SoundPlayer.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class QSoundEffect;

namespace vokari::x11 {

class QtSoundPlayer : public SoundPlayer {
public:
    // Loads every sound up front, so the first play does not wait for decoding.
    QtSoundPlayer();
    ~QtSoundPlayer() override;

    void play(const std::string& name) override;

    static const std::vector<std::string>& soundNames();
    // The Qt resource path of a sound, e.g. ":/sounds/Blow.wav".
    static std::string resourcePath(const std::string& name);
    // Whether the named sound has finished loading and can play (false for unknown names).
    bool isLoaded(const std::string& name) const;
    bool isPlaying(const std::string& name) const;

private:
    std::map<std::string, std::unique_ptr<QSoundEffect>> effects;
};

} // namespace vokari::x11
