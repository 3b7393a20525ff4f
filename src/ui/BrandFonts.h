#pragma once
// The brand faces (Figtree in four weights, Space Mono regular and bold): registered once from the app's
// resources, then looked up by size and weight, with the system font of the same size and weight when a face is
// missing. Sizes are logical pixels, so layouts keep the same geometry at any screen DPI setting.
// Main thread (needs a QGuiApplication).
#include <QFont>
#include <QString>

namespace vokari::BrandFonts {

enum class Weight { regular, medium, semibold, bold };

// The resource folder the app ships its font files in.
inline const QString resourceDirectory = QStringLiteral(":/fonts");

// Registers every .woff/.ttf/.otf file of the folder for this process, once per process: later calls do nothing
// and return 0. A file that fails to load is skipped. Returns how many files were registered.
int registerAll(const QString& directory = resourceDirectory);
// Whether registerAll has run (whatever it found).
bool registered();

QFont figtree(double size, Weight weight = Weight::regular);
QFont spaceMono(double size, bool bold = false);

} // namespace vokari::BrandFonts
