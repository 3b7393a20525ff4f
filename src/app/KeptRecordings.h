#pragma once
// The app's kept recordings: the unsent-recordings store behind a worker thread, so encoding, writing, listing
// and reading never block the main thread, and the current list published on the main thread for the history
// and the tray menu. Owned by the app's wiring (shared_ptr); the main queue must outlive it. Its destructor waits
// for writes already handed over, so a recording kept just before quitting still lands on disk.
#include "app/RecordingKeeper.h"
#include "app/UnsentRecordings.h"
#include "core/MainQueue.h"
#include "core/Observable.h"
#include "core/SerialWorker.h"

#include <memory>
#include <set>

namespace vokari {

class KeptRecordings : public RecordingKeeper, public std::enable_shared_from_this<KeptRecordings> {
public:
    static std::shared_ptr<KeptRecordings> create(MainQueue& queue, std::shared_ptr<UnsentRecordings> store);
    ~KeptRecordings() override;

    // Newest first; main thread. Follows every keep and discard made here (refresh() picks up other writers).
    Observable<std::vector<UnsentRecording>> recordings;

    // Lists the directory again (damaged entries are logged once each).
    void refresh();
    void keep(std::shared_ptr<DictationSession> session, std::string error) override;
    void loadAudio(const std::string& id, AudioLoaded done) override;
    void discard(const std::string& id) override;
    // Blocks until the work handed over so far is done (its main-queue deliveries may still be queued). Tests.
    void waitForWorker();

    const std::shared_ptr<UnsentRecordings>& store() const { return files; }

private:
    KeptRecordings(MainQueue& queue, std::shared_ptr<UnsentRecordings> store);

    MainQueue& queue;
    std::shared_ptr<UnsentRecordings> files;
    std::set<std::string> reported; // main thread
    // Last: its thread ends (finishing queued writes) before the store goes.
    std::unique_ptr<SerialWorker> worker = std::make_unique<SerialWorker>();
};

} // namespace vokari
