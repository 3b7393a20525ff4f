#pragma once
// An on/off switch drawn as a rounded track with a knob; checkable, toggled by click or Space. Main thread.
#include <QAbstractButton>

namespace vokari {

class ToggleSwitch : public QAbstractButton {
public:
    explicit ToggleSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {38, 22}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vokari
