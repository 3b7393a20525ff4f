// The server's release manifest, next to one release file, and the version comparison the update check makes
// with the manifest's version. Inside the scratch directory.
#include "FuzzSupport.h"
#include "update/ReleaseManifest.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vokari::server;
    static const std::string dir = [] {
        auto d = vokari::fuzz::scratchDir() / "releases";
        std::filesystem::create_directories(d);
        vokari::fuzz::writeFile(d / "Vokari-1.2.0.tar.gz", "release bytes\n");
        return d.string();
    }();
    vokari::fuzz::writeFile(dir + "/manifest.json", vokari::fuzz::bytesOf(data, size));
    auto loaded = ReleaseManifest::load(dir);
    if (auto* manifest = std::get_if<ReleaseManifest>(&loaded)) {
        if (manifest->path != dir + "/Vokari-1.2.0.tar.gz") {
            std::abort(); // only the one file that is there can match its checksum
        }
        for (const char* current : {"0.1.0", "1.2.0", "1.10", "2.0.0-beta"}) {
            int forward = compareVersions(manifest->version, current);
            int backward = compareVersions(current, manifest->version);
            if ((forward > 0) != (backward < 0) || (forward == 0) != (backward == 0)) {
                std::abort();
            }
        }
    }
    return 0;
}
