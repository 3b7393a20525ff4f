#include "ui/AboutView.h"

#include "core/AppVersion.h"
#include "ui/BrandFonts.h"
#include "ui/ViewStyle.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#ifndef VOKARI_WEBSITE_URL
#define VOKARI_WEBSITE_URL ""
#endif
#ifndef VOKARI_SUPPORT_EMAIL
#define VOKARI_SUPPORT_EMAIL ""
#endif

namespace vokari {

using BrandFonts::Weight;
using ViewStyle::makeLabel;

AboutView::AboutView(Actions acts, QWidget* parent) : QWidget(parent), actions(std::move(acts)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 48, 0, 14);
    column->setSpacing(0);

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/vokari.svg")).pixmap(QSize(64, 64), devicePixelRatioF()));
    icon->setFixedSize(64, 64);
    icon->setAccessibleName(QStringLiteral("Vokari icon"));
    column->addWidget(icon, 0, Qt::AlignHCenter);
    column->addSpacing(14);

    auto* title = makeLabel(QStringLiteral("Vokari"), BrandFonts::figtree(20, Weight::bold), "#E0E0E0", this);
    column->addWidget(title, 0, Qt::AlignHCenter);
    column->addSpacing(4);
    auto* version = makeLabel(versionText(QString::fromUtf8(appVersion())), BrandFonts::figtree(12), "#888888", this);
    version->setObjectName(QStringLiteral("version"));
    column->addWidget(version, 0, Qt::AlignHCenter);
    column->addSpacing(8);
    column->addWidget(makeLabel(QStringLiteral("Voice to text, instantly."), BrandFonts::figtree(12), "#666666", this),
                      0, Qt::AlignHCenter);
    column->addSpacing(24);

    auto* web = ViewStyle::makeLink(
        websiteUrl().host(), [this] { openWebsite(); }, this);
    web->setObjectName(QStringLiteral("website"));
    column->addWidget(web, 0, Qt::AlignHCenter);
    column->addSpacing(20);
    column->addWidget(makeLabel(QStringLiteral("Support"), BrandFonts::figtree(11, Weight::medium), "#666666", this), 0,
                      Qt::AlignHCenter);
    column->addSpacing(2);
    auto* mail = ViewStyle::makeLink(
        supportMailUrl().path(), [this] { openEmail(); }, this);
    mail->setObjectName(QStringLiteral("support"));
    column->addWidget(mail, 0, Qt::AlignHCenter);
    column->addSpacing(28);

    auto* update = new QPushButton(QStringLiteral("Check for Updates"), this);
    update->setObjectName(QStringLiteral("checkForUpdates"));
    update->setFont(BrandFonts::figtree(12, Weight::medium));
    update->setAccessibleName(update->text());
    // The dark-appearance push button: a grey rounded face on the window's dark background.
    update->setStyleSheet(QStringLiteral(
        "QPushButton { background: #3A3A3C; color: #E0E0E0; border: 1px solid #48484A; border-radius: 6px;"
        " padding: 4px 14px; }"
        "QPushButton:pressed { background: #48484A; }"
        "QPushButton:disabled { color: #6E6E73; background: #2C2C2E; border-color: #3A3A3C; }"));
    update->setEnabled(static_cast<bool>(actions.checkForUpdates));
    connect(update, &QPushButton::clicked, this, [this] {
        if (actions.checkForUpdates) {
            actions.checkForUpdates();
        }
    });
    column->addWidget(update, 0, Qt::AlignHCenter);

    column->addStretch(1);
    column->addWidget(makeLabel(QStringLiteral("Built by Korvath Labs"), BrandFonts::figtree(10), "#3A3A3C", this), 0,
                      Qt::AlignHCenter);
}

QString AboutView::versionText(const QString& version) {
    return QStringLiteral("Version ") + (version.isEmpty() ? QStringLiteral("?") : version);
}

QUrl AboutView::websiteUrl() {
    return QUrl(QStringLiteral(VOKARI_WEBSITE_URL));
}

QUrl AboutView::supportMailUrl() {
    return QUrl(QStringLiteral("mailto:") + QStringLiteral(VOKARI_SUPPORT_EMAIL));
}

void AboutView::openWebsite() {
    if (actions.openUrl) {
        actions.openUrl(websiteUrl());
    }
}

void AboutView::openEmail() {
    if (actions.openUrl) {
        actions.openUrl(supportMailUrl());
    }
}

} // namespace vokari
