#include "desktop/TerminalWindowClasses.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace vokari {

namespace {
// Lower-case WM_CLASS values of common terminal emulators (class names as they ship, plus the instance names
// some set as class, e.g. st's "st-256color" or GNOME Console's "kgx").
constexpr std::array<std::string_view, 44> kTerminalClasses = {"xterm",
                                                               "uxterm",
                                                               "gnome-terminal",
                                                               "gnome-terminal-server",
                                                               "konsole",
                                                               "xfce4-terminal",
                                                               "tilix",
                                                               "com.gexperts.tilix",
                                                               "alacritty",
                                                               "kitty",
                                                               "urxvt",
                                                               "rxvt",
                                                               "rxvt-unicode",
                                                               "terminator",
                                                               "st",
                                                               "st-256color",
                                                               "wezterm",
                                                               "org.wezfurlong.wezterm",
                                                               "foot",
                                                               "footclient",
                                                               "lxterminal",
                                                               "mate-terminal",
                                                               "qterminal",
                                                               "sakura",
                                                               "terminology",
                                                               "guake",
                                                               "tilda",
                                                               "yakuake",
                                                               "kgx",
                                                               "org.gnome.console",
                                                               "ptyxis",
                                                               "org.gnome.ptyxis",
                                                               "io.elementary.terminal",
                                                               "deepin-terminal",
                                                               "cool-retro-term",
                                                               "roxterm",
                                                               "termite",
                                                               "eterm",
                                                               "aterm",
                                                               "lilyterm",
                                                               "zutty",
                                                               "contour",
                                                               "hyper",
                                                               "tabby"};
} // namespace

bool isTerminalWindowClass(std::string_view windowClass) {
    std::string lower(windowClass);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(kTerminalClasses.begin(), kTerminalClasses.end(), lower) != kTerminalClasses.end();
}

} // namespace vokari
