#include "platform/linux/audio/LinuxAudioPlatform.h"

#include "core/SerialWorker.h"

#include "platform/linux/audio/PulseAudioEngine.h"
#include "platform/linux/audio/PulseDeviceMonitor.h"
#include "platform/linux/audio/SoxrSampleConverter.h"

namespace vokari::platform_linux {

AudioCaptureManager::Platform makeLinuxAudioPlatform(MainQueue& queue) {
    AudioCaptureManager::Platform platform;
    platform.makeEngine = [] { return std::make_shared<PulseAudioEngine>(); };
    platform.deviceMonitor = PulseDeviceMonitor::create(queue);
    platform.makeConverter = [](const AudioFormat& from, const AudioFormat& to) -> std::unique_ptr<SampleConverter> {
        return SoxrSampleConverter::create(from, to);
    };
    // The sound server may take up to a second to answer (longer when it hangs); the main thread never waits.
    auto worker = std::make_shared<SerialWorker>();
    platform.runBlocking = [worker](std::function<void()> work) { worker->post(std::move(work)); };
    return platform;
}

} // namespace vokari::platform_linux
