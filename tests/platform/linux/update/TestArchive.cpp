#include "TestArchive.h"

#include <archive.h>
#include <archive_entry.h>

#include <fstream>
#include <sstream>
#include <sys/sysmacros.h>

namespace vokari::testing {

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool writeArchive(const std::filesystem::path& path, const std::vector<ArchiveEntry>& entries) {
    archive* out = archive_write_new();
    archive_write_add_filter_gzip(out);
    archive_write_set_format_pax_restricted(out);
    bool ok = archive_write_open_filename(out, path.c_str()) == ARCHIVE_OK;
    for (const auto& e : entries) {
        if (!ok) {
            break;
        }
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.c_str());
        archive_entry_set_perm(entry, e.mode);
        archive_entry_set_mtime(entry, 1700000000, 0);
        switch (e.kind) {
        case ArchiveEntry::Kind::file:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, static_cast<la_int64_t>(e.content.size()));
            break;
        case ArchiveEntry::Kind::directory:
            archive_entry_set_filetype(entry, AE_IFDIR);
            break;
        case ArchiveEntry::Kind::symlink:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, e.content.c_str());
            break;
        case ArchiveEntry::Kind::hardlink:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_hardlink(entry, e.content.c_str());
            break;
        case ArchiveEntry::Kind::fifo:
            archive_entry_set_filetype(entry, AE_IFIFO);
            break;
        case ArchiveEntry::Kind::characterDevice:
            archive_entry_set_filetype(entry, AE_IFCHR);
            archive_entry_set_rdev(entry, makedev(1, 3));
            break;
        }
        ok = archive_write_header(out, entry) == ARCHIVE_OK;
        if (ok && e.kind == ArchiveEntry::Kind::file && !e.content.empty()) {
            ok = archive_write_data(out, e.content.data(), e.content.size()) ==
                 static_cast<la_ssize_t>(e.content.size());
        }
        archive_entry_free(entry);
    }
    ok = archive_write_close(out) == ARCHIVE_OK && ok;
    archive_write_free(out);
    return ok;
}

std::vector<ArchiveEntry> bundleEntries(const std::filesystem::path& program, const std::string& top) {
    const std::filesystem::path resources = VOKARI_SOURCE_DIR "/resources";
    using Kind = ArchiveEntry::Kind;
    return {
        {top + "/", Kind::directory, "", 0755},
        {top + "/bin/", Kind::directory, "", 0755},
        {top + "/bin/vokari", Kind::file, fileBytes(program), 0755},
        {top + "/share/applications/vokari.desktop", Kind::file, fileBytes(resources / "vokari.desktop"), 0644},
        {top + "/share/icons/hicolor/scalable/apps/vokari.svg", Kind::file, fileBytes(resources / "icons/vokari.svg"),
         0644},
    };
}

} // namespace vokari::testing
