#include "ui/UnsentEntryView.h"

#include "core/NumberText.h"
#include "ui/BrandFonts.h"
#include "ui/TranscriptEntryView.h"
#include "ui/ViewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vokari {

UnsentEntryView::UnsentEntryView(const UnsentRecording& recording, Retry retry, QWidget* parent)
    : QWidget(parent), id(recording.id) {
    setObjectName(QStringLiteral("unsentEntry"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* top = new QHBoxLayout();
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(8);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(recording.time.time_since_epoch()).count();
    auto* time = ViewStyle::makeLabel(TranscriptEntryView::timeOfDay(QDateTime::fromMSecsSinceEpoch(ms)),
                                      BrandFonts::spaceMono(10), "#555555", this);
    auto* status = ViewStyle::makeLabel(QStringLiteral("Not sent"), BrandFonts::spaceMono(10), "#FF9F0A", this);
    status->setObjectName(QStringLiteral("notSent"));
    button = new QPushButton(QStringLiteral("Retry"), this);
    button->setAccessibleName(QStringLiteral("Retry"));
    button->setToolTip(QStringLiteral("Send this recording again"));
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(BrandFonts::figtree(11, BrandFonts::Weight::semibold));
    button->setStyleSheet(QStringLiteral(
        "QPushButton { color: #FF9F0A; background: transparent; border: 1px solid #5A4020; border-radius: 9px; "
        "padding: 1px 10px; } QPushButton:hover { background: #2A2015; } QPushButton:pressed { background: #3A2A18; "
        "}"));
    connect(button, &QPushButton::clicked, this, [this, retry = std::move(retry)] {
        if (retry) {
            retry(id);
        }
    });
    top->addWidget(time, 0, Qt::AlignVCenter);
    top->addWidget(status, 0, Qt::AlignVCenter);
    top->addStretch(1);
    top->addWidget(button, 0, Qt::AlignVCenter);

    bodyText = ViewStyle::makeLabel(describe(recording), BrandFonts::figtree(13), "#98989D", this);
    bodyText->setWordWrap(true);
    bodyText->setMinimumWidth(1);
    column->addLayout(top);
    column->addWidget(bodyText);
}

QString UnsentEntryView::describe(const UnsentRecording& recording) {
    return QString::fromStdString(fixedDecimal(recording.durationSeconds, 1) + " s recording · " + recording.error);
}

} // namespace vokari
