// The private secrets file: looked up, then an item added (a corrupt file is kept aside first), which must then
// read back. Inside the scratch directory.
#include "FuzzSupport.h"
#include "core/FileSecretStore.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The directory stays (as the store leaves it, private); only what is in it goes.
    static const auto dir = [] {
        auto d = vokari::fuzz::scratchDir() / "vokari";
        std::filesystem::create_directories(d);
        std::filesystem::permissions(d, std::filesystem::perms::owner_all);
        return d;
    }();
    static const auto path = dir / "secrets.json";
    vokari::fuzz::clearScratch(dir);
    vokari::fuzz::writeFile(path, vokari::fuzz::bytesOf(data, size));
    vokari::FileSecretStore store(path);
    vokari::SecretQuery query{"ai.vokari", "deviceId", false};
    store.lookup(query);
    store.lookup({"ai.vokari", "deviceId", true});
    store.remove(query);
    if (store.add(query, "0F0E0D0C-0B0A-4908-8706-050403020100") == 0 &&
        store.read(query) != "0F0E0D0C-0B0A-4908-8706-050403020100") {
        std::abort();
    }
    return 0;
}
