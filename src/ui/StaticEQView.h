#pragma once
// A fixed pattern of level-meter bars (the live meter's geometry and colours with frozen heights), used where the
// capsule is previewed. No state; paints when Qt asks. Main thread.
#include <QColor>
#include <QRectF>
#include <QWidget>

#include <vector>

namespace vokari {

class StaticEQView : public QWidget {
public:
    struct Bar {
        QRectF rect;
        double level = 0;
        QColor color;
    };

    explicit StaticEQView(QWidget* parent = nullptr);

    // The bars for a view of this size: none when either side is 0 or less.
    static std::vector<Bar> bars(double width, double height);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vokari
