#include "app/KeptRecordings.h"

#include "core/DebugLog.h"
#include "core/NumberText.h"

#include <future>

namespace vokari {

std::shared_ptr<KeptRecordings> KeptRecordings::create(MainQueue& queue, std::shared_ptr<UnsentRecordings> store) {
    return std::shared_ptr<KeptRecordings>(new KeptRecordings(queue, std::move(store)));
}

KeptRecordings::KeptRecordings(MainQueue& q, std::shared_ptr<UnsentRecordings> store)
    : queue(q), files(std::move(store)) {}

KeptRecordings::~KeptRecordings() {
    worker.reset();
}

void KeptRecordings::refresh() {
    std::weak_ptr<KeptRecordings> weak = weak_from_this();
    worker->post([weak, files = files, q = &queue] {
        auto listing = files->list();
        q->post([weak, listing = std::move(listing)] {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            for (const std::string& problem : listing.problems) {
                if (self->reported.insert(problem).second) {
                    debugLog("⚠️ " + problem);
                }
            }
            self->recordings = listing.recordings;
        });
    });
}

void KeptRecordings::keep(std::shared_ptr<DictationSession> session, std::string error) {
    if (!session) {
        return;
    }
    const auto when = std::chrono::system_clock::now();
    worker->post([files = files, session = std::move(session), error = std::move(error), when] {
        auto result = files->keep(session->getWAVData(), session->durationSeconds(), error, when);
        if (result.kept) {
            debugLog("💾 Recording kept for a retry: " + result.kept->wavPath.string() + " (" +
                     fixedDecimal(result.kept->durationSeconds, 1) + "s)");
        } else {
            debugLog("❌ The recording could not be kept: " + result.problem);
        }
    });
    refresh();
}

void KeptRecordings::loadAudio(const std::string& id, AudioLoaded done) {
    std::weak_ptr<KeptRecordings> weak = weak_from_this();
    worker->post([weak, files = files, id, done = std::move(done), q = &queue] {
        std::string problem;
        std::optional<std::vector<std::uint8_t>> audio;
        if (auto recording = files->find(id, &problem)) {
            audio = files->readAudio(*recording, &problem);
        }
        if (!audio) {
            debugLog("❌ " + problem);
        }
        q->post([weak, done, audio = std::move(audio)]() mutable {
            // Gone or damaged: another process (vokarictl) may have changed the directory, so list it again.
            if (auto self = weak.lock(); self && !audio) {
                self->refresh();
            }
            done(std::move(audio));
        });
    });
}

void KeptRecordings::discard(const std::string& id) {
    worker->post([files = files, id] {
        if (files->remove(id)) {
            debugLog("🗑 Unsent recording " + id + " removed after its retry");
        }
    });
    refresh();
}

void KeptRecordings::waitForWorker() {
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    worker->post([done] { done->set_value(); });
    future.wait();
}

} // namespace vokari
