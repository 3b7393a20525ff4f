#include "platform/linux/x11/X11KeyPoster.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>

namespace vokari::x11 {
namespace {

constexpr double kRestoreAfter = 1.0;
constexpr std::size_t kRotation = 4;

// Code points of one UTF-8 character; invalid bytes were already replaced upstream, so a simple decoder serves.
std::vector<char32_t> codePoints(const std::string& s) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : 4;
        char32_t cp = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
        for (std::size_t k = 1; k < n && i + k < s.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        out.push_back(cp);
        i += n;
    }
    return out;
}

} // namespace

X11KeyPoster::X11KeyPoster(MainQueue& queue, std::shared_ptr<X11Connection> connection)
    : queue(queue), connection(connection), chords(connection) {}

X11KeyPoster::~X11KeyPoster() {
    restoreTask.cancel();
    restoreBorrowed();
}

unsigned long X11KeyPoster::keysymForCodePoint(char32_t cp) {
    switch (cp) {
    case '\n':
    case '\r':
        return XK_Return;
    case '\t':
        return XK_Tab;
    case '\b':
        return XK_BackSpace;
    default:
        break;
    }
    if ((cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0xFF)) {
        return cp;
    }
    return 0x01000000UL | cp;
}

bool X11KeyPoster::pressKey(std::uint16_t keyCode, std::uint64_t flags) {
    return chords.postKey(keyCode, flags);
}

bool X11KeyPoster::typeCharacter(const std::string& character) {
    bool ok = !character.empty();
    for (char32_t cp : codePoints(character)) {
        ok = typeKeysym(keysymForCodePoint(cp)) && ok;
    }
    return ok;
}

bool X11KeyPoster::typeKeysym(unsigned long keysym) {
    Display* dpy = connection->display();
    if (!dpy || !connection->hasXTest()) {
        return false;
    }
    if (queue.now() - ownKeysSince > kRestoreAfter) {
        ownKeys.clear();
        ownKeysSince = queue.now();
    }
    KeyCode code = 0;
    bool shift = false;
    if (auto known = ownKeys.find(keysym); known != ownKeys.end()) {
        code = known->second.code;
        shift = known->second.shift;
    } else {
        code = XKeysymToKeycode(dpy, keysym);
        if (std::find(spare.begin(), spare.end(), code) != spare.end()) {
            code = 0; // a borrowed key: what it holds is tracked below, not in Xlib's copy of the map
        }
        if (code != 0) {
            if (XkbKeycodeToKeysym(dpy, code, 0, 0) == keysym) {
                shift = false;
            } else if (XkbKeycodeToKeysym(dpy, code, 0, 1) == keysym) {
                shift = true;
            } else {
                code = 0; // reachable only on a level we cannot select plainly (AltGr); borrow a key instead
            }
        }
        if (code != 0) {
            ownKeys[keysym] = OwnKey{static_cast<unsigned char>(code), shift};
        }
    }
    if (code == 0) {
        code = borrowKeyCode(keysym);
        if (code == 0) {
            return false;
        }
    }
    const KeyCode shiftCode = shift ? XKeysymToKeycode(dpy, XK_Shift_L) : 0;
    if (shift && shiftCode == 0) {
        return false;
    }
    if (shift) {
        XTestFakeKeyEvent(dpy, shiftCode, True, CurrentTime);
    }
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    if (shift) {
        XTestFakeKeyEvent(dpy, shiftCode, False, CurrentTime);
    }
    XFlush(dpy);
    return true;
}

unsigned char X11KeyPoster::borrowKeyCode(unsigned long keysym) {
    Display* dpy = connection->display();
    if (!spareScanned) {
        spareScanned = true;
        int minCode = 0, maxCode = 0, perCode = 0;
        XDisplayKeycodes(dpy, &minCode, &maxCode);
        KeySym* map = XGetKeyboardMapping(dpy, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode);
        if (map) {
            for (int code = maxCode; code >= minCode && spare.size() < kRotation; --code) {
                const KeySym* syms = map + static_cast<std::ptrdiff_t>(code - minCode) * perCode;
                if (std::all_of(syms, syms + perCode, [](KeySym s) { return s == NoSymbol; })) {
                    spare.push_back(static_cast<unsigned char>(code));
                }
            }
            XFree(map);
        }
    }
    if (spare.empty()) {
        return 0;
    }
    restoreTask.cancel();
    restoreTask = queue.postAfter(kRestoreAfter, [this] { restoreBorrowed(); });
    if (auto held = borrowedFor.find(keysym); held != borrowedFor.end()) {
        return held->second;
    }
    const unsigned char code = spare[nextSpare++ % spare.size()];
    std::erase_if(borrowedFor, [code](const auto& entry) { return entry.second == code; });
    borrowedFor[keysym] = code;
    KeySym syms[2] = {keysym, keysym};
    XChangeKeyboardMapping(dpy, code, 2, syms, 1);
    XSync(dpy, False);
    if (std::find(borrowed.begin(), borrowed.end(), code) == borrowed.end()) {
        borrowed.push_back(code);
    }
    return code;
}

void X11KeyPoster::restoreBorrowed() {
    Display* dpy = borrowed.empty() ? nullptr : connection->display();
    if (!dpy) {
        return;
    }
    KeySym none[2] = {NoSymbol, NoSymbol};
    for (unsigned char code : borrowed) {
        XChangeKeyboardMapping(dpy, code, 2, none, 1);
    }
    borrowed.clear();
    borrowedFor.clear();
    XFlush(dpy);
}

} // namespace vokari::x11
