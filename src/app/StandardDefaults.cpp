#include "app/DebugLog.h"
#include "core/JsonFileDefaultsStore.h"

namespace vokari {

DefaultsStore& DefaultsStore::standard() {
    // Never destroyed: network completions may still write settings while the process exits.
    static auto* store = new JsonFileDefaultsStore(JsonFileDefaultsStore::defaultPath(),
                                                   [](const std::string& line) { debugLog(line); });
    return *store;
}

} // namespace vokari
