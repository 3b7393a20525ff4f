#pragma once
// Random UUIDs (version 4) as upper-case 8-4-4-4-12 strings. Any thread.
#include <string>

namespace vokari {

std::string makeUuidString();

} // namespace vokari
