#pragma once
// Numbers in log lines, the same under every locale: the toolkit installs the user's locale, and a decimal comma
// would turn "0.5" into "0,5". Pure; any thread.
#include <string>

namespace vokari {

// Fixed notation with `decimals` digits after the point, rounded as printf("%.*f") rounds.
std::string fixedDecimal(double value, int decimals);
// The shortest text that reads back exactly, always with a fraction: 48000.0, 44100.0, 22050.5.
std::string shortestDecimal(double value);

} // namespace vokari
