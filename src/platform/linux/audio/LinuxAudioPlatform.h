#pragma once
// Wires the capture logic to the sound server: PulseAudio engines, the source monitor and the libsoxr converter.
// Called once on the main thread by the application's audio set-up; the result is handed to the manager.
#include "audio/AudioCaptureManager.h"
#include "core/MainQueue.h"

namespace vokari::platform_linux {

AudioCaptureManager::Platform makeLinuxAudioPlatform(MainQueue& queue);

} // namespace vokari::platform_linux
