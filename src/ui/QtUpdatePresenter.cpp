#include "ui/QtUpdatePresenter.h"

#include "ui/UpdateProgressWindow.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

namespace vokari {

QtUpdatePresenter::~QtUpdatePresenter() {
    delete progress.data();
}

QMessageBox* QtUpdatePresenter::makeAlertBox(const UpdateAlert& alert, std::function<void(std::size_t)> chosen) {
    const auto icon = alert.style == UpdateAlert::Style::warning ? QMessageBox::Warning : QMessageBox::Information;
    const QString message = QString::fromStdString(alert.messageText);
    auto* box = new QMessageBox(icon, message, message, QMessageBox::NoButton);
    box->setObjectName(QStringLiteral("updateAlert"));
    box->setAccessibleName(message);
    box->setInformativeText(QString::fromStdString(alert.informativeText));
    box->setTextFormat(Qt::PlainText);
    // The message stands out as the alert's heading; the informative text is wide enough that a sentence is not
    // broken after every few words.
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { font-weight: bold; }"
                                      "QLabel#qt_msgbox_informativelabel { min-width: 320px; }"));
    box->setWindowModality(Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    std::vector<QAbstractButton*> buttons;
    const std::size_t count = alert.buttons.size();
    for (std::size_t i = 0; i < count; ++i) {
        auto role =
            i == 0 ? QMessageBox::AcceptRole : (i + 1 == count ? QMessageBox::RejectRole : QMessageBox::ActionRole);
        QPushButton* button = box->addButton(QString::fromStdString(alert.buttons[i]), role);
        button->setAccessibleName(button->text());
        buttons.push_back(button);
    }
    if (!buttons.empty()) {
        box->setDefaultButton(static_cast<QPushButton*>(buttons.front()));
        box->setEscapeButton(buttons.back());
    }
    // finished comes once, for a button, Escape or the window's close alike; no clicked button means the last one.
    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, chosen = std::move(chosen)](int) {
        std::size_t index = buttons.empty() ? 0 : buttons.size() - 1;
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            if (box->clickedButton() == buttons[i]) {
                index = i;
            }
        }
        if (chosen) {
            chosen(index);
        }
    });
    return box;
}

void QtUpdatePresenter::showAlert(UpdateAlert alert, std::function<void(std::size_t)> chosen) {
    QMessageBox* box = makeAlertBox(alert, std::move(chosen));
    box->show();
    box->raise();
    box->activateWindow();
}

void QtUpdatePresenter::showProgress(const std::string& version, std::function<bool()> cancel) {
    closeProgress();
    progress = new UpdateProgressWindow(QString::fromStdString(version), std::move(cancel));
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->showCentred();
}

void QtUpdatePresenter::updateStatus(const std::string& status) {
    if (progress) {
        progress->updateStatus(QString::fromStdString(status));
    }
}

void QtUpdatePresenter::closeProgress() {
    if (progress) {
        progress->closeQuietly();
        progress = nullptr;
    }
}

} // namespace vokari
