// Points the debug log and the XDG directories of every core test run at a private temporary directory,
// and keeps log lines off the console unless VOKARI_TEST_VERBOSE is set.
#include "core/DebugLog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class VokariTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vokari-test-XXXXXX").string();
        if (char* dir = ::mkdtemp(tmpl.data())) {
            root = dir;
            ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
            ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
            vokari::debuglog::setPaths(root / "vokari.log", root / "vk-debug.log");
        }
        if (!std::getenv("VOKARI_TEST_VERBOSE")) {
            vokari::debuglog::setConsole(nullptr);
        }
    }
    void TearDown() override {
        std::error_code ec;
        if (!root.empty()) {
            std::filesystem::remove_all(root, ec);
        }
    }

private:
    std::filesystem::path root;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new VokariTestEnvironment);

} // namespace
