#include "platform/linux/update/BundleDesktopEntry.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace vokari {

namespace fs = std::filesystem;

std::string BundleDesktopEntry::execValue(const std::string& program) {
    // Exec arguments are quoted with double quotes, inside which ", `, $ and \ take a backslash; the value is
    // then a desktop-entry string, where a backslash is itself written twice, and '%' starts a field code.
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    std::string out;
    for (char c : quoted) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '%') {
            out += "%%";
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> BundleDesktopEntry::write(const fs::path& bundle, const fs::path& applicationsDir) {
    const auto source = bundle / "share/applications/vokari.desktop";
    std::ifstream in(source);
    if (!in) {
        return "cannot read " + source.string();
    }
    const auto program = bundle / "bin/vokari";
    const auto icon = bundle / "share/icons/hicolor/scalable/apps/vokari.svg";
    if (program.string().find('\n') != std::string::npos) {
        return "the bundle's path holds a line break";
    }
    std::ostringstream text;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Exec=", 0) == 0) {
            line = "Exec=" + execValue(program.string());
        } else if (line.rfind("TryExec=", 0) == 0) {
            continue;
        } else if (line.rfind("Icon=", 0) == 0) {
            std::error_code ec;
            if (fs::is_regular_file(icon, ec)) {
                line = "Icon=" + icon.string();
            }
        }
        text << line << '\n';
    }

    std::error_code ec;
    fs::create_directories(applicationsDir, ec);
    const auto target = applicationsDir / "vokari.desktop";
    const auto temporary = applicationsDir / (".vokari.desktop." + std::to_string(::getpid()));
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text.str();
        out.flush();
        if (!out) {
            fs::remove(temporary, ec);
            return "cannot write " + temporary.string();
        }
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        auto problem = "cannot replace " + target.string() + ": " + std::strerror(errno);
        fs::remove(temporary, ec);
        return problem;
    }
    return std::nullopt;
}

} // namespace vokari
