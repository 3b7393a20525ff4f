#include "app/AppState.h"

namespace vokari {

std::string_view rawValue(VokariState state) {
    switch (state) {
    case VokariState::idle:
        return "idle";
    case VokariState::listening:
        return "listening";
    case VokariState::processing:
        return "processing";
    case VokariState::error:
        return "error";
    }
    return "idle";
}

std::optional<VokariState> vokariStateFromRaw(std::string_view raw) {
    for (auto s : {VokariState::idle, VokariState::listening, VokariState::processing, VokariState::error}) {
        if (rawValue(s) == raw) {
            return s;
        }
    }
    return std::nullopt;
}

AppState::AppState()
    : state(VokariState::idle, [this] { objectWillChange.emit(); }),
      currentMicName(std::nullopt, [this] { objectWillChange.emit(); }),
      isDictating(false, [this] { objectWillChange.emit(); }) {}

} // namespace vokari
