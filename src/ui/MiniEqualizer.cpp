#include "ui/MiniEqualizer.h"

#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <cmath>

namespace vokari {

MiniEqualizer::MiniEqualizer(QWidget* parent) : QWidget(parent) {
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

int MiniEqualizer::frameIntervalMs() const {
    const QScreen* display = screen();
    double rate = display ? display->refreshRate() : 60.0;
    if (!(rate >= 20.0 && rate <= 240.0)) {
        rate = 60.0;
    }
    return std::max(1, static_cast<int>(std::lround(1000.0 / rate)));
}

void MiniEqualizer::startRendering() {
    if (frameTimer) {
        return;
    }
    frameTimer = std::make_unique<QTimer>();
    frameTimer->setTimerType(Qt::PreciseTimer);
    frameTimer->setInterval(frameIntervalMs());
    QObject::connect(frameTimer.get(), &QTimer::timeout, this, &MiniEqualizer::tick);
    frameTimer->start();
}

void MiniEqualizer::stopRendering() {
    frameTimer.reset();
}

void MiniEqualizer::tick() {
    model.tick(height());
    update();
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
