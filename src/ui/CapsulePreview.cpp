#include "ui/CapsulePreview.h"

#include "ui/CapsuleLayout.h"
#include "ui/HexColor.h"
#include "ui/StaticEQView.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

namespace vokari {

namespace {
const QString kLabel = QStringLiteral("0:12");

QFont labelFont(int size) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(size);
    font.setWeight(QFont::Medium);
    return font;
}
} // namespace

CapsulePreview::CapsulePreview(CapsuleSize size, QWidget* parent)
    : QWidget(parent), capsuleSize(size), metrics(capsuleMetrics(size)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(metrics.width, metrics.height);
    const QFontMetricsF fm(labelFont(metrics.fontSize));
    const CapsuleLayout layout =
        capsuleLayout(metrics.width, metrics.height, fm.horizontalAdvance(kLabel), fm.height(), metrics);
    for (const CapsuleRect& r : {layout.leftEQ, layout.rightEQ}) {
        auto* eq = new StaticEQView(this);
        eq->setGeometry(QRectF(r.x, r.y, r.width, r.height).toRect());
    }
}

void CapsulePreview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = colorFromHex("#111114");
    fill.setAlphaF(0.92f);
    QColor border(255, 255, 255);
    border.setAlphaF(0.08f);
    p.setPen(QPen(border, 0.5));
    p.setBrush(fill);
    const QRectF r = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    p.setFont(labelFont(metrics.fontSize));
    p.setPen(colorFromHex("#AAAAAA"));
    p.drawText(rect(), Qt::AlignCenter, kLabel);
}

} // namespace vokari
