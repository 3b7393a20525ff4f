#include "ui/StaticEQView.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace vokari {

StaticEQView::StaticEQView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
}

std::vector<StaticEQView::Bar> StaticEQView::bars(double w, double h) {
    std::vector<Bar> out;
    if (w <= 0 || h <= 0) {
        return out;
    }
    const double midY = h / 2;
    const int n = std::max(3, static_cast<int>(w / 5.5));
    const double total = n * 2.5 + (n - 1) * 3;
    const double startX = (w - total) / 2;
    out.reserve(n);
    for (int i = 0; i < n; ++i) {
        const double x = startX + i * 5.5;
        const double level = std::abs(std::sin(i * 1.7 + 0.5)) * 0.65 + 0.3;
        const double bh = std::max(level * (h / 2 - 1), 1.5);
        QColor color;
        if (level > 0.4) {
            color = QColor::fromRgbF(0.18f, 0.82f, 0.55f, static_cast<float>(level * 0.3 + 0.7));
        } else if (level > 0.05) {
            color = QColor::fromRgbF(0.15f, 0.55f, 0.4f, static_cast<float>(level * 0.5 + 0.35));
        } else {
            color = QColor::fromRgbF(0.3f, 0.3f, 0.3f, 0.25f);
        }
        out.push_back({QRectF(x, midY - bh, 2.5, 2 * bh), level, color});
    }
    return out;
}

void StaticEQView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (const Bar& bar : bars(width(), height())) {
        painter.setBrush(bar.color);
        painter.drawRoundedRect(bar.rect, 1.25, 1.25);
    }
}

} // namespace vokari
