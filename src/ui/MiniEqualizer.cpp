#include "ui/MiniEqualizer.h"

#include <QPainter>

namespace vokari {

MiniEqualizer::MiniEqualizer(std::shared_ptr<FrameClock> clock, QWidget* parent)
    : QWidget(parent), frames(std::move(clock)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

MiniEqualizer::~MiniEqualizer() {
    stopRendering();
}

void MiniEqualizer::reset() {
    model.reset();
    update();
}

void MiniEqualizer::setDimmed(bool dimmed) {
    model.dimmed = dimmed;
    update();
}

void MiniEqualizer::startRendering() {
    frames->add(this, [this] { tick(); });
}

void MiniEqualizer::stopRendering() {
    frames->remove(this);
}

void MiniEqualizer::tick() {
    // Bars that have settled (silence) cost no repaint.
    if (model.tick(height())) {
        update();
    }
}

void MiniEqualizer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    model.layout(width());
}

void MiniEqualizer::paintEvent(QPaintEvent*) {
    if (model.barCount <= 0) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const double w = width();
    const double h = height();
    for (int i = 0; i < model.barCount; ++i) {
        const EqualizerModel::Bar bar = model.bar(i, w, h);
        painter.setBrush(QColor::fromRgbF(bar.color.red, bar.color.green, bar.color.blue, bar.color.alpha));
        painter.drawRoundedRect(QRectF(bar.x, bar.y, bar.width, bar.height), bar.width / 2, bar.width / 2);
    }
}

} // namespace vokari
