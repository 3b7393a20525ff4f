#include "ui/ClickableView.h"

#include <QGraphicsOpacityEffect>

namespace vokari {

ClickableView::ClickableView(std::function<void()> fn, QWidget* parent)
    : QAbstractButton(parent), action(std::move(fn)) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    // QAbstractButton emits clicked only for a release inside, which is the rule wanted here.
    connect(this, &QAbstractButton::pressed, this, [this] { setParentOpacity(0.8); });
    connect(this, &QAbstractButton::released, this, [this] { setParentOpacity(1.0); });
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (action) {
            action();
        }
    });
}

double ClickableView::parentOpacity() const {
    return effect ? effect->opacity() : 1.0;
}

void ClickableView::setParentOpacity(double opacity) {
    QWidget* target = parentWidget();
    if (!target) {
        return;
    }
    if (!effect) {
        effect = new QGraphicsOpacityEffect(target);
        target->setGraphicsEffect(effect);
    }
    effect->setOpacity(opacity);
    // A full-opacity effect would still render the parent through an offscreen buffer; drop it instead.
    effect->setEnabled(opacity < 1.0);
}

void ClickableView::paintEvent(QPaintEvent*) {}

} // namespace vokari
