#include "ui/FrameClock.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace vokari {

FrameClock::FrameClock() = default;
FrameClock::~FrameClock() = default;

double FrameClock::frameRate() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double rate = screen ? screen->refreshRate() : 0.0;
    return rate >= 20.0 && rate <= 240.0 ? rate : 60.0;
}

void FrameClock::add(const void* listener, std::function<void()> onFrame) {
    if (contains(listener)) {
        return;
    }
    listeners.push_back({listener, std::move(onFrame)});
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, [this] {
            // By index: a listener may leave during its frame.
            for (std::size_t i = 0; i < listeners.size(); ++i) {
                listeners[i].onFrame();
            }
        });
    }
    if (!timer->isActive()) {
        timer->setInterval(std::max(1, static_cast<int>(std::lround(1000.0 / frameRate()))));
        timer->start();
    }
}

void FrameClock::remove(const void* listener) {
    std::erase_if(listeners, [listener](const Listener& l) { return l.id == listener; });
    if (listeners.empty() && timer) {
        timer->stop(); // stopped, not destroyed: this may run inside the timer's own signal
    }
}

bool FrameClock::contains(const void* listener) const {
    return std::any_of(listeners.begin(), listeners.end(), [listener](const Listener& l) { return l.id == listener; });
}

bool FrameClock::isRunning() const {
    return timer && timer->isActive();
}

} // namespace vokari
