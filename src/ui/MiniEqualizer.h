#pragma once
// One animated level meter of the recording capsule: thin rounded bars mirrored about the centre line, following
// the pushed level with a per-bar wobble. While rendering, the shared frame clock (the screen's refresh rate)
// advances the animation; nothing runs otherwise. Main thread; owned by its parent widget, which also owns the clock.
#include "ui/EqualizerModel.h"
#include "ui/FrameClock.h"

#include <QWidget>

#include <memory>

namespace vokari {

class MiniEqualizer : public QWidget {
public:
    MiniEqualizer(std::shared_ptr<FrameClock> frames, QWidget* parent);
    ~MiniEqualizer() override;

    void reset();
    void pushLevel(float level) { model.pushLevel(level); }
    // Joins the frame clock unless already rendering.
    void startRendering();
    void stopRendering();
    bool isRendering() const { return frames->contains(this); }
    // One animation step, and a redraw if a bar moved; the frame clock calls it.
    void tick();
    // The processing look: the last frame at a quarter of its alpha. reset() clears it.
    void setDimmed(bool dimmed);

    const EqualizerModel& state() const { return model; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<FrameClock> frames; // shared, so it outlives whichever of its owners goes first
    EqualizerModel model;
};

} // namespace vokari
