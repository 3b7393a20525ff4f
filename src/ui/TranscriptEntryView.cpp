#include "ui/TranscriptEntryView.h"

#include "ui/BrandFonts.h"
#include "ui/HexColor.h"
#include "ui/ViewStyle.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace vokari {

CopyGlyphButton::CopyGlyphButton(QWidget* parent) : QAbstractButton(parent) {
    setFixedSize(16, 16);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Copy to clipboard"));
    setAccessibleName(QStringLiteral("Copy"));
}

void CopyGlyphButton::setCopied(bool value) {
    copied = value;
    setAccessibleName(copied ? QStringLiteral("Copied") : QStringLiteral("Copy"));
    update();
}

QColor CopyGlyphButton::tint() const {
    return colorFromHex(copied ? "#4ADE80" : "#666666");
}

void CopyGlyphButton::setGlyphOpacity(double value) {
    opacity = value;
    update();
}

void CopyGlyphButton::paintEvent(QPaintEvent*) {
    if (opacity <= 0) {
        return;
    }
    QPainter p(this);
    p.setOpacity(opacity);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(tint(), 1.3);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    if (copied) {
        QPainterPath check;
        check.moveTo(3, 8.5);
        check.lineTo(6.5, 12);
        check.lineTo(13, 4.5);
        p.drawPath(check);
        return;
    }
    p.drawRoundedRect(QRectF(5.5, 2.5, 8, 9.5), 1.8, 1.8);
    QPainterPath back;
    back.moveTo(3.5, 5.5);
    back.lineTo(2.5, 5.5);
    back.lineTo(2.5, 13.5);
    back.lineTo(10, 13.5);
    back.lineTo(10, 13);
    p.drawPath(back);
}

TranscriptEntryView::TranscriptEntryView(const QString& entry, const QDateTime& timestamp, MainQueue& mainQueue,
                                         QWidget* parent)
    : QWidget(parent), text(entry), queue(mainQueue) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* top = new QHBoxLayout();
    top->setContentsMargins(0, 0, 0, 0);
    // Looked up once: every rebuild makes up to 30 rows, and a font database query per label shows in the frame.
    static const QFont timeFont = BrandFonts::spaceMono(10);
    static const QFont textFont = BrandFonts::figtree(13);
    timeText = ViewStyle::makeLabel(timeOfDay(timestamp), timeFont, "#555555", this);
    button = new CopyGlyphButton(this);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(button, &QAbstractButton::clicked, this, [this] { copyTapped(); });

    bodyText = ViewStyle::makeLabel(text, textFont, "#E0E0E0", this);
    bodyText->setWordWrap(true);
    bodyText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bodyText->setMinimumWidth(1); // wraps rather than widening the row

    top->addWidget(timeText, 0, Qt::AlignVCenter);
    top->addStretch(1);
    top->addWidget(button, 0, Qt::AlignVCenter);
    column->addLayout(top);
    column->addWidget(bodyText);
}

void TranscriptEntryView::setEntry(const QString& entry, const QDateTime& timestamp) {
    text = entry;
    timeText->setText(timeOfDay(timestamp));
    bodyText->setText(entry);
    button->setCopied(false);
}

QString TranscriptEntryView::timeOfDay(const QDateTime& timestamp) {
    return QLocale::system().toString(timestamp.toLocalTime().time(), QStringLiteral("h:mm AP"));
}

// A second click within the second copies again; the first click's restore still comes at its own time.
void TranscriptEntryView::copyTapped() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
    button->setCopied(true);
    QPointer<TranscriptEntryView> self(this);
    queue.postAfter(1.0, [self] {
        if (self) {
            self->button->setCopied(false);
        }
    });
}

void TranscriptEntryView::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (window()->isActiveWindow()) {
        fadeCopyButton(1);
    }
}

void TranscriptEntryView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    fadeCopyButton(0);
}

void TranscriptEntryView::fadeCopyButton(double to) {
    targetOpacity = to;
    if (!fade) {
        fade = new QVariantAnimation(this);
        fade->setDuration(150);
        connect(fade, &QVariantAnimation::valueChanged, button,
                [this](const QVariant& value) { button->setGlyphOpacity(value.toDouble()); });
    }
    fade->stop();
    fade->setStartValue(button->glyphOpacity());
    fade->setEndValue(to);
    fade->start();
}

} // namespace vokari
