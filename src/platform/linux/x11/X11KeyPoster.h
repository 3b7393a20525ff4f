#pragma once
// Command typing and key presses through XTest. A character whose keysym the keyboard map already has is typed
// with that key (Shift added for the second level); any other Unicode character borrows a key code that has no
// symbols, mapped to the character's keysym while it is typed. Borrowed codes rotate, so a client that reads the
// map a moment late still sees the right symbol, and all are given back (emptied) a second after the last use.
// Key presses go through the chord synthesizer (Command is Control). Main thread. Owned by the app.
#include "command/KeyPoster.h"
#include "core/MainQueue.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11InputSynthesizer.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace vokari::x11 {

class X11KeyPoster : public KeyPoster {
public:
    X11KeyPoster(MainQueue& queue, std::shared_ptr<X11Connection> connection);
    ~X11KeyPoster() override;

    bool typeCharacter(const std::string& character) override;
    bool pressKey(std::uint16_t keyCode, std::uint64_t flags) override;

    // The keysym that types a code point: Latin-1 and the control keys by their own symbols, everything else in
    // the Unicode keysym range.
    static unsigned long keysymForCodePoint(char32_t codePoint);

private:
    bool typeKeysym(unsigned long keysym);
    unsigned char borrowKeyCode(unsigned long keysym);
    void restoreBorrowed();

    MainQueue& queue;
    std::shared_ptr<X11Connection> connection;
    X11InputSynthesizer chords;
    std::vector<unsigned char> spare; // key codes with no symbols, found on first need
    bool spareScanned = false;
    std::size_t nextSpare = 0;
    std::vector<unsigned char> borrowed;
    // What each borrowed code holds now, so a repeated character reuses its code without changing the map again.
    std::unordered_map<unsigned long, unsigned char> borrowedFor;
    // Keys of the keyboard's own map, by keysym: (key code, whether Shift selects it). Looking them up in Xlib
    // for every character costs more than the typing itself. Kept for one burst of typing only (a second), so a
    // layout switched in between is read afresh.
    struct OwnKey {
        unsigned char code;
        bool shift;
    };
    std::unordered_map<unsigned long, OwnKey> ownKeys;
    double ownKeysSince = 0;
    TaskHandle restoreTask;
};

} // namespace vokari::x11
