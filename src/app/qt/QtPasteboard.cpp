#include "app/qt/QtPasteboard.h"

#include "core/DebugLog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QString>

namespace vokari::x11 {

void QtPasteboard::setString(const std::string& text) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (!reportedMissingApp) {
            reportedMissingApp = true;
            debugLog("📋 No clipboard: the app has no GUI application object");
        }
        return;
    }
    // setText replaces every format the clipboard held with this one plain text.
    QGuiApplication::clipboard()->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                                          QClipboard::Clipboard);
}

} // namespace vokari::x11
