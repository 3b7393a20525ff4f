#pragma once
// A private directory for one update attempt: made with mkdtemp (mode 0700, a fresh random name) under
// $XDG_RUNTIME_DIR or the temporary directory, so no other user can plant or swap the archive in it. Removed with
// everything in it when the last owner lets go (the updater and the tasks still using the archive share it).
// Any thread.
#include <memory>
#include <string>

namespace vokari {

class StagingDirectory {
public:
    // A new directory under `parent` (empty: defaultParent()); null with `error` set when it cannot be made.
    static std::shared_ptr<StagingDirectory> create(const std::string& parent, std::string& error);
    // $XDG_RUNTIME_DIR when set and absolute, else $TMPDIR when absolute, else "/tmp".
    static std::string defaultParent();

    ~StagingDirectory();
    StagingDirectory(const StagingDirectory&) = delete;
    StagingDirectory& operator=(const StagingDirectory&) = delete;

    const std::string& path() const { return directory; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

private:
    explicit StagingDirectory(std::string path) : directory(std::move(path)) {}
    std::string directory;
};

} // namespace vokari
