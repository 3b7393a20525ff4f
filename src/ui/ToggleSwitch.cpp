#include "ui/ToggleSwitch.h"

#include "ui/HexColor.h"

#include <QPainter>

namespace vokari {

ToggleSwitch::ToggleSwitch(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(colorFromHex(isChecked() ? "#34C759" : "#3A3A3C"));
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const double knob = track.height() - 4;
    const double x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    p.setBrush(colorFromHex(isEnabled() ? "#FFFFFF" : "#8E8E93"));
    p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

} // namespace vokari
