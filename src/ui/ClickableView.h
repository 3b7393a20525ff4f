#pragma once
// A transparent overlay that makes the view beneath it a button: pressing dims the parent to 0.8 opacity,
// releasing restores it and runs the action only when released inside. Being a QAbstractButton it also takes
// Space/Enter and shows up to screen readers as a push button named by its accessible name. Main thread.
#include <QAbstractButton>

#include <functional>

class QGraphicsOpacityEffect;

namespace vokari {

class ClickableView : public QAbstractButton {
public:
    ClickableView(std::function<void()> action, QWidget* parent);

    // The parent's current opacity as this view sets it (1.0 when not pressed).
    double parentOpacity() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setParentOpacity(double opacity);

    std::function<void()> action;
    QGraphicsOpacityEffect* effect = nullptr;
};

} // namespace vokari
