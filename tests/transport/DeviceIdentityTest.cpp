// Lookup order and migrations of the device identifier against a fake store, and the file-backed stores.
#include "transport/DeviceIdentity.h"
#include "FakeSecretStore.h"
#include "RecordingSink.h"
#include "TestFiles.h"
#include "core/FallbackSecretStore.h"
#include "core/FileSecretStore.h"

#include <gtest/gtest.h>

#include "core/AtomicFile.h"

#include <fstream>
#include <regex>
#include <sys/stat.h>

namespace vokari {
namespace {

const test::FakeSecretStore::Key kPlain{"ai.vokari", "deviceId", false};
const test::FakeSecretStore::Key kLegacy{"ai.vokari", "deviceId", true};

class DeviceIdentityTest : public ::testing::Test {
protected:
    void SetUp() override { debuglog::setSink(sink); }
    void TearDown() override { debuglog::setSink(nullptr); }
    std::shared_ptr<test::RecordingSink> sink = std::make_shared<test::RecordingSink>();
    test::FakeSecretStore store;
    MemoryDefaultsStore defaults;
};

TEST_F(DeviceIdentityTest, FirstLaunchGeneratesAndStoresAnUpperCaseUuid) {
    auto id = DeviceIdentity::settle(store, defaults);
    EXPECT_TRUE(
        std::regex_match(id, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")));
    EXPECT_EQ(store.items[kPlain], id);
    EXPECT_EQ(sink->messages(), std::vector<std::string>{"🔑 Generated new device ID: " + id.substr(0, 8) + "..."});
    // The next launch finds it.
    sink->clear();
    EXPECT_EQ(DeviceIdentity::settle(store, defaults), id);
    EXPECT_EQ(sink->messages(), std::vector<std::string>{"🔑 Device ID from keychain: " + id.substr(0, 8) + "..."});
}

TEST_F(DeviceIdentityTest, LookupOrderAndMigrations) {
    using Opt = std::optional<std::string>;
    struct Row {
        std::map<test::FakeSecretStore::Key, std::string> items; // before
        Opt settings;
        std::string id;                 // settled, and stored as the plain item
        Opt legacyAfter, settingsAfter; // after
        std::string log;
    };
    // The plain item wins, used as found whatever its form (here shorter than 8 characters); the legacy item is moved
    // over; the settings key is moved and removed; a later source is never consulted.
    const std::vector<Row> rows = {
        {{{kPlain, "abc"}, {kLegacy, "L-ID"}}, "S", "abc", "L-ID", "S", "Device ID from keychain: abc..."},
        {{{kLegacy, "1111111122"}}, "S", "1111111122", {}, "S", "Migrated device ID from sync keychain: 11111111..."},
        {{}, "AAAAAAAA-BB", "AAAAAAAA-BB", {}, {}, "Migrated device ID from UserDefaults: AAAAAAAA..."}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.id);
        test::FakeSecretStore s;
        MemoryDefaultsStore d;
        s.items = r.items;
        if (r.settings) {
            d.setString("deviceId", *r.settings);
        }
        sink->clear();
        EXPECT_EQ(DeviceIdentity::settle(s, d), r.id);
        EXPECT_EQ(s.items[kPlain], r.id);
        EXPECT_EQ(s.items.contains(kLegacy) ? Opt(s.items[kLegacy]) : Opt(), r.legacyAfter);
        EXPECT_EQ(d.object("deviceId") ? Opt(d.stringValue("deviceId")) : Opt(), r.settingsAfter);
        EXPECT_EQ(sink->messages(), std::vector<std::string>{"🔑 " + r.log});
    }
}

TEST_F(DeviceIdentityTest, AFailingStoreNeverLosesTheOldCopyOrStopsStartUp) {
    store.items[kLegacy] = "legacy-id";
    store.addStatus = -25308;
    EXPECT_EQ(DeviceIdentity::settle(store, defaults), "legacy-id");
    EXPECT_EQ(store.items[kLegacy], "legacy-id") << "kept for the next launch because the new copy was not stored";
    EXPECT_EQ(sink->messages(), (std::vector<std::string>{"⚠️ Keychain save failed: -25308",
                                                          "🔑 Migrated device ID from sync keychain: legacy-i..."}));

    store.items.clear();
    defaults.setString("deviceId", "defaults-id");
    EXPECT_EQ(DeviceIdentity::settle(store, defaults), "defaults-id");
    EXPECT_EQ(defaults.stringValue("deviceId"), "defaults-id");

    // A store whose search fails may hold the identifier: one is made for this run and nothing is written.
    test::FakeSecretStore broken;
    broken.failReads = true;
    MemoryDefaultsStore empty;
    EXPECT_EQ(DeviceIdentity::settle(broken, empty).size(), 36u);
    EXPECT_EQ(broken.writes, 0);
}

TEST_F(DeviceIdentityTest, ALockedKeyringNeverSplitsTheIdentity) {
    // The keyring holds the identifier but is locked; the file mirror has the same one.
    auto keyring = std::make_shared<test::FakeSecretStore>();
    auto file = std::make_shared<test::FakeSecretStore>();
    keyring->items[kPlain] = "KEYRING-ID";
    keyring->items[kLegacy] = "LEGACY-ID";
    keyring->locked = true;
    file->items[kPlain] = "KEYRING-ID";
    FallbackSecretStore store(keyring, file);
    EXPECT_EQ(DeviceIdentity::settle(store, defaults), "KEYRING-ID");
    EXPECT_EQ(keyring->writes + file->writes, 0);

    // No mirror yet: an identifier for this run only; nothing is written, deleted or migrated.
    file->items.clear();
    defaults.setString("deviceId", "SETTINGS-ID");
    sink->clear();
    EXPECT_EQ(DeviceIdentity::settle(store, defaults), "SETTINGS-ID");
    EXPECT_EQ(defaults.stringValue("deviceId"), "SETTINGS-ID");
    defaults.remove("deviceId");
    auto temporary = DeviceIdentity::settle(store, defaults);
    EXPECT_EQ(temporary.size(), 36u);
    EXPECT_NE(temporary, "KEYRING-ID");
    EXPECT_EQ(keyring->writes + file->writes, 0);
    EXPECT_TRUE(file->items.empty());
    EXPECT_EQ(keyring->items.size(), 2u);
    EXPECT_TRUE(sink->anyStartsWith("⚠️ Keychain unavailable; device ID for this session only: "));

    // Unlocked at the next launch: the keyring's identifier, now mirrored into the file.
    keyring->locked = false;
    EXPECT_EQ(DeviceIdentity::settle(store, defaults), "KEYRING-ID");
    EXPECT_EQ(file->items[kPlain], "KEYRING-ID");
    // A new identifier is saved to both.
    keyring->items.clear();
    file->items.clear();
    auto fresh = DeviceIdentity::settle(store, defaults);
    EXPECT_EQ(keyring->items[kPlain], fresh);
    EXPECT_EQ(file->items[kPlain], fresh);
}

TEST(FileSecretStore, ItemsOfAnotherShapeMatchNothingAndNeverThrow) {
    test::TempDir dir;
    auto path = dir / "secrets.json";
    SecretQuery plain{"ai.vokari", "deviceId", false};
    ASSERT_FALSE(writeFileAtomically(path, R"({"items":[{"service":1},null,"x",[],
        {"service":"ai.vokari","account":"deviceId","synchronizable":"no","data":"A"},
        {"service":"ai.vokari","account":["deviceId"],"data":"B"},
        {"service":"ai.vokari","account":"deviceId","data":5},
        {"service":"ai.vokari","account":"deviceId","synchronizable":false,"data":"GOOD"}]})"));
    FileSecretStore store(path);
    EXPECT_EQ(store.lookup(plain).data, "GOOD");
    ASSERT_FALSE(writeFileAtomically(path, R"({"items":[{"service":1,"account":{},"synchronizable":"no"}]})"));
    EXPECT_EQ(store.lookup(plain).status, SecretLookup::Status::absent);
    store.remove(plain);
    EXPECT_EQ(store.add(plain, "NEW"), 0);
    MemoryDefaultsStore defaults;
    EXPECT_EQ(DeviceIdentity::settle(store, defaults), "NEW");
}

TEST(FileSecretStore, KeepsItemsPrivateAcrossInstancesAndSeparatesTheLegacyVariant) {
    test::TempDir dir;
    auto path = dir / "vokari" / "secrets.json";
    SecretQuery plain{"ai.vokari", "deviceId", false};
    SecretQuery legacy{"ai.vokari", "deviceId", true};
    {
        FileSecretStore store(path);
        EXPECT_FALSE(store.read(plain));
        EXPECT_EQ(store.add(legacy, "L"), 0);
        EXPECT_FALSE(store.read(plain));
        EXPECT_EQ(store.add(plain, "P"), 0);
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(path.parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    FileSecretStore again(path);
    EXPECT_EQ(again.read(plain), "P");
    EXPECT_EQ(again.read(legacy), "L");
    again.remove(plain);
    EXPECT_FALSE(again.read(plain));
    EXPECT_EQ(again.read(legacy), "L");

    // A damaged file reads as empty and is kept aside instead of being overwritten.
    std::filesystem::remove(path);
    { std::ofstream(path) << "{not json"; }
    EXPECT_FALSE(again.read(plain));
    EXPECT_EQ(again.add(plain, "P2"), 0);
    EXPECT_EQ(again.read(plain), "P2");
    EXPECT_TRUE(std::filesystem::exists(path.string() + ".corrupt"));
}

TEST(FallbackSecretStore, WritesWhereTheSecretServiceRefusesAndReadsBothPlaces) {
    auto service = std::make_shared<test::FakeSecretStore>();
    auto file = std::make_shared<test::FakeSecretStore>();
    FallbackSecretStore store(service, file);
    SecretQuery plain{"ai.vokari", "deviceId", false};
    service->addStatus = 7;
    EXPECT_EQ(store.add(plain, "X"), 0);
    EXPECT_EQ(file->items[kPlain], "X");
    EXPECT_EQ(store.read(plain), "X");
    file->addStatus = 9;
    EXPECT_EQ(store.add(plain, "Y"), 7) << "the preferred store's status is the one reported";
    service->addStatus = 0;
    EXPECT_EQ(store.add(plain, "Z"), 0);
    EXPECT_EQ(store.read(plain), "Z");
    store.remove(plain);
    EXPECT_FALSE(store.read(plain));
}

} // namespace
} // namespace vokari
