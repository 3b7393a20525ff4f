#include "app/qt/QtKeyEventPump.h"

#include <QObject>
#include <QSocketNotifier>

namespace vokari::x11 {

struct QtKeyEventPump::State {
    std::weak_ptr<X11KeyEventSource> source;
    std::unique_ptr<QSocketNotifier> notifier;

    void watch(int fd, const std::shared_ptr<State>& self) {
        // The change can come from inside the notifier's own signal (a lost connection): delete it later.
        if (notifier) {
            notifier->setEnabled(false);
            notifier.release()->deleteLater();
        }
        if (fd < 0) {
            return;
        }
        notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        std::weak_ptr<State> weak = self;
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [weak] {
            if (auto s = weak.lock()) {
                if (auto src = s->source.lock()) {
                    src->dispatchPending();
                }
            }
        });
    }
};

QtKeyEventPump::QtKeyEventPump(std::shared_ptr<X11KeyEventSource> source) : state(std::make_shared<State>()) {
    state->source = source;
    std::weak_ptr<State> weak = state;
    source->onConnectionChanged = [weak](int fd) {
        if (auto s = weak.lock()) {
            s->watch(fd, s);
        }
    };
    state->watch(source->fd(), state);
}

QtKeyEventPump::~QtKeyEventPump() {
    if (auto src = state->source.lock()) {
        src->onConnectionChanged = nullptr;
    }
    if (state->notifier) {
        state->notifier->setEnabled(false);
        state->notifier.release()->deleteLater();
    }
}

} // namespace vokari::x11
