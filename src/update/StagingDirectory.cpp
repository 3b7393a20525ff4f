#include "update/StagingDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace vokari {

std::string StagingDirectory::defaultParent() {
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value && value[0] == '/') {
            return value;
        }
    }
    return "/tmp";
}

std::shared_ptr<StagingDirectory> StagingDirectory::create(const std::string& parent, std::string& error) {
    std::string pattern = (parent.empty() ? defaultParent() : parent) + "/vokari-update-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        error = std::strerror(errno);
        return nullptr;
    }
    return std::shared_ptr<StagingDirectory>(new StagingDirectory(buffer.data()));
}

StagingDirectory::~StagingDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

std::string StagingDirectory::file(const std::string& name) const {
    return directory + "/" + name;
}

} // namespace vokari
