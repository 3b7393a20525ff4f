// The menu entry written for an installed bundle starts exactly that copy, whatever characters its path holds.
#include "platform/linux/update/BundleDesktopEntry.h"
#include "ChildProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

using namespace vokari;
using namespace vokari::testing;
namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(BundleDesktopEntryTest, ExecQuotesEveryCharacterTheDesktopEntryFormatReserves) {
    EXPECT_EQ(BundleDesktopEntry::execValue("/opt/vokari/Vokari/bin/vokari"), "\"/opt/vokari/Vokari/bin/vokari\"");
    EXPECT_EQ(BundleDesktopEntry::execValue("/home/a b/Vokari/bin/vokari"), "\"/home/a b/Vokari/bin/vokari\"");
    // Inside the quotes ", `, $ and \ take a backslash; then the string escape doubles every backslash; % doubles.
    EXPECT_EQ(BundleDesktopEntry::execValue("/x\"y`z$w\\v%u"), "\"/x\\\\\"y\\\\`z\\\\$w\\\\\\\\v%%u\"");
}

TEST(BundleDesktopEntryTest, WritesTheBundlesEntryPointingAtItsProgramAndIcon) {
    TempDir dir("vokari-entry");
    const auto bundle = dir.path / "apps/Vokari";
    fs::create_directories(bundle / "share/applications");
    fs::create_directories(bundle / "share/icons/hicolor/scalable/apps");
    std::ofstream(bundle / "share/applications/vokari.desktop")
        << "[Desktop Entry]\nType=Application\nName=Vokari\nTryExec=vokari\nExec=vokari\nIcon=vokari\n";
    std::ofstream(bundle / "share/icons/hicolor/scalable/apps/vokari.svg") << "<svg/>";

    const auto apps = dir.path / "home/.local/share/applications";
    ASSERT_EQ(BundleDesktopEntry::write(bundle, apps), std::nullopt);
    std::ifstream in(apps / "vokari.desktop");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "[Desktop Entry]\nType=Application\nName=Vokari\nExec=\"" + (bundle / "bin/vokari").string() +
                        "\"\nIcon=" + (bundle / "share/icons/hicolor/scalable/apps/vokari.svg").string() + "\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(apps), fs::directory_iterator()), 1) << "no temporary file left";

    // A bundle without its entry leaves the user's entry as it was.
    fs::remove(bundle / "share/applications/vokari.desktop");
    EXPECT_NE(BundleDesktopEntry::write(bundle, apps), std::nullopt);
    std::ifstream again(apps / "vokari.desktop");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), text);
}
