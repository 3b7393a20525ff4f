#pragma once
// A fresh temporary directory per test, removed afterwards.
#include <filesystem>
#include <string>

#include <stdlib.h>

namespace vokari::test {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vokari-transport-XXXXXX").string();
        dir = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    const std::filesystem::path& path() const { return dir; }
    std::filesystem::path operator/(const std::string& name) const { return dir / name; }

private:
    std::filesystem::path dir;
};

} // namespace vokari::test
