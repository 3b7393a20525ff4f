#include "platform/linux/audio/LinuxAudioPlatform.h"

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
    return platform;
}

} // namespace vokari::platform_linux
