#include "app/qt/QtAlertPresenter.h"

#include <QMessageBox>

namespace vokari {

void QtAlertPresenter::showAlert(const std::string& title, const std::string& message,
                                 std::function<void()> onDismiss) {
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Vokari"), QString::fromStdString(title),
                                QMessageBox::Ok);
    box->setInformativeText(QString::fromStdString(message));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    // finished comes once, for "OK", Escape or the window's close button alike.
    QObject::connect(box, &QMessageBox::finished, box, [onDismiss = std::move(onDismiss)](int) {
        if (onDismiss) {
            onDismiss();
        }
    });
    box->show();
    box->raise();
    box->activateWindow();
}

} // namespace vokari
