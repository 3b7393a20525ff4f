#pragma once
// The one observable application state: the dictation phase, the microphone name and the is-dictating flag.
// Main thread only. AppState::shared() lives for the process; tests may construct their own.
#include "core/Observable.h"
#include "core/Signal.h"

#include <optional>
#include <string>
#include <string_view>

namespace vokari {

enum class VokariState { idle, listening, processing, error };

std::string_view rawValue(VokariState state);
std::optional<VokariState> vokariStateFromRaw(std::string_view raw);

class AppState {
public:
    AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    static AppState& shared();

    // Fires before any of the three properties changes.
    Signal<> objectWillChange;
    Observable<VokariState> state;
    Observable<std::optional<std::string>> currentMicName;
    Observable<bool> isDictating;
};

} // namespace vokari
