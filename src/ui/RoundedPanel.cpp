#include "ui/RoundedPanel.h"

#include "ui/HexColor.h"

#include <QPainter>

namespace vokari {

RoundedPanel::RoundedPanel(std::string fill, std::string border, double r, QWidget* parent)
    : QWidget(parent), fillHex(std::move(fill)), borderHex(std::move(border)), radius(r) {}

void RoundedPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colorFromHex(borderHex), 0.5));
    p.setBrush(colorFromHex(fillHex));
    // Inset by half the pen, so the hairline lies inside the widget.
    p.drawRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), radius, radius);
}

} // namespace vokari
