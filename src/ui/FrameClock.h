#pragma once
// One frame timer at the screen's refresh rate shared by the views that animate together (the capsule's two
// meters): one wake-up per frame however many listen, and none while nobody listens. Main thread; owned by the
// window whose views share it.
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class QTimer;

namespace vokari {

class FrameClock {
public:
    FrameClock();
    ~FrameClock();
    FrameClock(const FrameClock&) = delete;
    FrameClock& operator=(const FrameClock&) = delete;

    // `listener` identifies the subscription; adding it twice changes nothing. The timer starts with the first.
    void add(const void* listener, std::function<void()> onFrame);
    // The timer stops with the last one.
    void remove(const void* listener);
    bool contains(const void* listener) const;
    bool isRunning() const;
    // Frames per second: the primary screen's refresh rate, 60 when it reports nothing sensible.
    static double frameRate();

private:
    struct Listener {
        const void* id;
        std::function<void()> onFrame;
    };
    std::vector<Listener> listeners;
    std::unique_ptr<QTimer> timer;
};

} // namespace vokari
