// Keeps the platform library non-empty until its first implementation lands.
namespace vokari::platform_linux {
int linked() {
    return 1;
}
} // namespace vokari::platform_linux
