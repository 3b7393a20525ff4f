#include "ui/BrandFonts.h"

#include "core/DebugLog.h"

#include <QDir>
#include <QFontDatabase>

namespace vokari::BrandFonts {

namespace {

bool registeredFlag = false;

QFont::Weight qtWeight(Weight weight) {
    switch (weight) {
    case Weight::regular:
        return QFont::Normal;
    case Weight::medium:
        return QFont::Medium;
    case Weight::semibold:
        return QFont::DemiBold;
    case Weight::bold:
        return QFont::Bold;
    }
    return QFont::Normal;
}

// The named face exists when its family has a style of exactly that weight; Qt would otherwise synthesise a
// weight from another face, which is not the brand font.
bool hasFace(const QString& family, QFont::Weight weight) {
    if (!QFontDatabase::families().contains(family)) {
        return false;
    }
    const auto styles = QFontDatabase::styles(family);
    for (const QString& style : styles) {
        if (QFontDatabase::weight(family, style) == weight && !QFontDatabase::italic(family, style)) {
            return true;
        }
    }
    return false;
}

QFont sized(QFont font, double size, QFont::Weight weight) {
    font.setPixelSize(qMax(1, qRound(size)));
    font.setWeight(weight);
    font.setItalic(false);
    return font;
}

} // namespace

int registerAll(const QString& directory) {
    if (registeredFlag) {
        return 0;
    }
    registeredFlag = true;
    QDir dir(directory);
    if (!dir.exists()) {
        return 0;
    }
    int count = 0;
    const auto files = dir.entryList({"*.woff", "*.ttf", "*.otf"}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        if (QFontDatabase::addApplicationFont(dir.filePath(file)) >= 0) {
            ++count;
        } else {
            debugLog("⚠️ Font not loaded: " + file.toStdString());
        }
    }
    return count;
}

bool registered() {
    return registeredFlag;
}

// The WOFF files name Medium and SemiBold as families of their own ("Figtree Medium", weight 500), while Regular
// and Bold share "Figtree"; either naming finds the face.
QFont figtree(double size, Weight weight) {
    const QFont::Weight w = qtWeight(weight);
    QStringList families{QStringLiteral("Figtree")};
    if (weight == Weight::medium) {
        families << QStringLiteral("Figtree Medium");
    } else if (weight == Weight::semibold) {
        families << QStringLiteral("Figtree SemiBold");
    }
    for (const QString& family : families) {
        if (hasFace(family, w)) {
            return sized(QFont(family), size, w);
        }
    }
    return sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), size, w);
}

QFont spaceMono(double size, bool bold) {
    const QFont::Weight w = bold ? QFont::Bold : QFont::Normal;
    const QString family = QStringLiteral("Space Mono");
    if (hasFace(family, w)) {
        return sized(QFont(family), size, w);
    }
    return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), size, w);
}

} // namespace vokari::BrandFonts
