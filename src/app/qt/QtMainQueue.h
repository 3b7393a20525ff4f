#pragma once
// The main queue on the Qt event loop: tasks run on the thread that owns `context` (the application object).
// post/postAfter/postRepeating may be called from any thread; now() is a monotonic clock.
// Owned by the process entry, which keeps it alive until the process ends and closes it before the context goes.
#include "core/MainQueue.h"

#include <QObject>

#include <shared_mutex>

namespace vokari {

class QtMainQueue : public MainQueue {
public:
    explicit QtMainQueue(QObject* context);

    void post(Task fn) override;
    TaskHandle postAfter(double seconds, Task fn) override;
    TaskHandle postRepeating(double interval, Task fn) override;
    double now() const override;

    // Drops every task posted from now on, from any thread. Called before the context is destroyed: network
    // completions may still arrive afterwards, and they must find a queue that quietly ignores them.
    void close();
    bool isClosed() const;

private:
    mutable std::shared_mutex lock; // shared while posting, exclusive while closing
    QObject* context;
    bool closed = false;
};

} // namespace vokari
