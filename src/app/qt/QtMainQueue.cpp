#include "app/qt/QtMainQueue.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <mutex>

namespace vokari {
namespace {
// Qt timers take whole milliseconds in an int; longer delays are clamped (24 days is far beyond any use here).
int toMilliseconds(double seconds) {
    double ms = std::clamp(seconds * 1000.0, 0.0, static_cast<double>(INT_MAX));
    return static_cast<int>(std::llround(ms));
}
} // namespace

QtMainQueue::QtMainQueue(QObject* ctx) : context(ctx) {}

void QtMainQueue::post(Task fn) {
    std::shared_lock guard(lock);
    if (closed || !fn) {
        return;
    }
    QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
}

TaskHandle QtMainQueue::postAfter(double seconds, Task fn) {
    auto flag = makeFlag();
    int ms = toMilliseconds(seconds);
    // Timers must be created on the context's thread, so hop there first. A cancelled task still waits for its
    // due time, then is dropped without running.
    post([ctx = context, ms, fn = std::move(fn), flag]() mutable {
        if (flag->load()) {
            return;
        }
        QTimer::singleShot(ms, Qt::PreciseTimer, ctx, [fn = std::move(fn), flag] {
            if (!flag->load()) {
                fn();
            }
        });
    });
    return TaskHandle(flag);
}

TaskHandle QtMainQueue::postRepeating(double interval, Task fn) {
    auto flag = makeFlag();
    int ms = std::max(1, toMilliseconds(interval));
    post([ctx = context, ms, fn = std::move(fn), flag]() mutable {
        if (flag->load()) {
            return;
        }
        auto* timer = new QTimer(ctx);
        timer->setInterval(ms);
        timer->setTimerType(ms < 2000 ? Qt::PreciseTimer : Qt::CoarseTimer);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, fn = std::move(fn), flag] {
            if (flag->load()) {
                timer->stop();
                timer->deleteLater();
                return;
            }
            fn();
        });
        timer->start();
    });
    return TaskHandle(flag);
}

double QtMainQueue::now() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void QtMainQueue::close() {
    std::unique_lock guard(lock);
    closed = true;
}

bool QtMainQueue::isClosed() const {
    std::shared_lock guard(lock);
    return closed;
}

} // namespace vokari
