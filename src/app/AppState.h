#pragma once
// The one observable application state: the dictation phase, the microphone name and the is-dictating flag, plus
// what the capsule and the tray show of a recording (the latest input level and the error on display).
// Main thread only. Owned by the app's wiring, which hands it to every component that needs it.
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

    // Fires before any of the three properties changes.
    Signal<> objectWillChange;
    Observable<VokariState> state;
    Observable<std::optional<std::string>> currentMicName;
    Observable<bool> isDictating;
    // The RMS level of the latest captured block (0 when not recording); about ten updates a second.
    Observable<float> inputLevel;
    // The message the capsule shows while the state is `error`; nothing otherwise.
    Observable<std::optional<std::string>> errorMessage;
};

} // namespace vokari
