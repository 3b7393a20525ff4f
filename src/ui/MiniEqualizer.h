#pragma once
// One animated level meter of the recording capsule: thin rounded bars mirrored about the centre line, following
// the pushed level with a per-bar wobble. While rendering, a frame timer at the screen's refresh rate advances the
// animation; nothing runs otherwise. Main thread; owned by its parent widget.
#include "ui/EqualizerModel.h"

#include <QWidget>

#include <memory>

class QTimer;

namespace vokari {

class MiniEqualizer : public QWidget {
public:
    explicit MiniEqualizer(QWidget* parent = nullptr);
    ~MiniEqualizer() override;

    void reset();
    void pushLevel(float level) { model.pushLevel(level); }
    // Starts the frame timer unless it already runs.
    void startRendering();
    void stopRendering();
    bool isRendering() const { return frameTimer != nullptr; }
    // One animation step and a redraw; the frame timer calls it.
    void tick();
    // The processing look: the last frame at a quarter of its alpha. reset() clears it.
    void setDimmed(bool dimmed);

    const EqualizerModel& state() const { return model; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int frameIntervalMs() const;

    EqualizerModel model;
    std::unique_ptr<QTimer> frameTimer;
};

} // namespace vokari
