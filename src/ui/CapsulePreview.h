#pragma once
// A still copy of the recording capsule at one size ("0:12" between two frozen meters), for the settings tab.
// Exactly the capsule's width × height. Main thread.
#include "ui/CapsuleSize.h"

#include <QWidget>

namespace vokari {

class CapsulePreview : public QWidget {
public:
    explicit CapsulePreview(CapsuleSize size, QWidget* parent = nullptr);
    CapsuleSize size() const { return capsuleSize; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CapsuleSize capsuleSize;
    CapsuleMetrics metrics;
};

} // namespace vokari
