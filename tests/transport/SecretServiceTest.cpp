// The libsecret store against a real gnome-keyring, started in this test's own D-Bus session with a private
// HOME, and the device identity's lookup order and migrations on it.
#include "RecordingSink.h"
#include "TestFiles.h"
#include "core/FallbackSecretStore.h"
#include "core/FileSecretStore.h"
#include "platform/linux/secrets/LibsecretStore.h"
#include "platform/linux/secrets/SystemSecretStore.h"
#include "transport/DeviceIdentity.h"

#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <optional>
#include <vector>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vokari {
namespace {

// Puts the named environment variables back as they were when it goes, so no later test sees our HOME or bus.
class EnvironmentGuard {
public:
    EnvironmentGuard() {
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                 "DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "VOKARI_SECRET_STORE"}) {
            const char* value = std::getenv(name);
            saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    ~EnvironmentGuard() {
        for (const auto& [name, value] : saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

// Locks the default collection, as a screen lock or a keyring that was never unlocked leaves it.
bool lockDefaultCollection() {
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    if (!service) {
        g_clear_error(&error);
        return false;
    }
    SecretCollection* collection =
        secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
    bool locked = false;
    if (collection) {
        GList* objects = g_list_append(nullptr, collection);
        locked = secret_service_lock_sync(service, objects, nullptr, nullptr, &error) > 0;
        g_list_free(objects);
        g_object_unref(collection);
    }
    g_clear_error(&error);
    g_object_unref(service);
    return locked;
}

// What a shell command prints on stdout.
std::string capture(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p)) {
            out += buf;
        }
        ::pclose(p);
    }
    return out;
}

// NameHasOwner never triggers service activation.
bool nameHasOwner(const std::string& name) {
    return capture("dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
                   "org.freedesktop.DBus.NameHasOwner string:" +
                   name + " 2>/dev/null")
               .find("boolean true") != std::string::npos;
}

// Owns the session bus and the keyring daemon; both are stopped by process id, even when the test fails.
class KeyringSession {
public:
    KeyringSession() {
        for (const char* sub : {"run", "data", "config", "cache"}) {
            std::filesystem::create_directories(home / sub);
        }
        std::filesystem::permissions(home / "run", std::filesystem::perms::owner_all);
        ::setenv("HOME", home.path().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);

        std::string out = capture("dbus-launch --sh-syntax");
        std::smatch m;
        if (std::regex_search(out, m, std::regex("DBUS_SESSION_BUS_ADDRESS='([^']*)'"))) {
            ::setenv("DBUS_SESSION_BUS_ADDRESS", m[1].str().c_str(), 1);
        }
        if (std::regex_search(out, m, std::regex("DBUS_SESSION_BUS_PID=([0-9]+)"))) {
            busPid = std::stoi(m[1]);
        }
        int in[2];
        if (busPid <= 0 || ::pipe(in) != 0) {
            return;
        }
        keyringPid = ::fork();
        if (keyringPid == 0) { // the password on stdin unlocks the login keyring
            ::dup2(in[0], 0);
            int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, 1);
            ::dup2(devNull, 2);
            ::close(in[1]);
            ::execlp("gnome-keyring-daemon", "gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        (void)!::write(in[1], "test-password", 13);
        ::close(in[1]);
    }
    ~KeyringSession() {
        for (pid_t pid : {keyringPid, busPid}) {
            if (pid > 0) {
                ::kill(pid, SIGTERM);
            }
        }
        if (keyringPid > 0) {
            ::waitpid(keyringPid, nullptr, 0);
        }
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    bool started() const { return busPid > 0 && keyringPid > 0; }
    const std::filesystem::path& directory() const { return home.path(); }

    // The Secret Service, once our daemon owns its bus name. Nothing may call it earlier: the bus would start
    // a second, locked keyring by service activation and ours would lose the name.
    std::shared_ptr<LibsecretStore> waitForStore() {
        for (int i = 0; i < 200 && !nameHasOwner("org.freedesktop.secrets"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        SecretQuery probe{"ai.vokari.test", "probe", false};
        for (int i = 0; i < 50; ++i) {
            if (auto store = LibsecretStore::open(); store && store->add(probe, "x") == 0) {
                store->remove(probe);
                return store;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return nullptr;
    }

private:
    EnvironmentGuard environment; // restored last, after the daemons are gone
    test::TempDir home;
    pid_t busPid = 0;
    pid_t keyringPid = 0;
};

TEST(SecretService, StoresFindsAndMigratesTheDeviceIdentifier) {
    KeyringSession session;
    ASSERT_TRUE(session.started());
    auto store = session.waitForStore();
    ASSERT_TRUE(store) << "gnome-keyring did not come up";

    SecretQuery plain{"ai.vokari", "deviceId", false};
    SecretQuery legacy{"ai.vokari", "deviceId", true};
    EXPECT_FALSE(store->read(plain));
    ASSERT_EQ(store->add(legacy, "LEGACY-ID-0001"), 0);
    EXPECT_FALSE(store->read(plain)) << "a plain query never matches the synchronizable item";
    EXPECT_EQ(store->read(legacy), "LEGACY-ID-0001");

    auto sink = std::make_shared<test::RecordingSink>();
    debuglog::setSink(sink);
    MemoryDefaultsStore defaults;
    EXPECT_EQ(DeviceIdentity::settle(*store, defaults), "LEGACY-ID-0001");
    EXPECT_EQ(store->read(plain), "LEGACY-ID-0001");
    EXPECT_FALSE(store->read(legacy));
    EXPECT_TRUE(sink->contains("🔑 Migrated device ID from sync keychain: LEGACY-I..."));

    // Both present: the plain item wins and the legacy one stays.
    ASSERT_EQ(store->add(legacy, "OTHER"), 0);
    EXPECT_EQ(DeviceIdentity::settle(*store, defaults), "LEGACY-ID-0001");
    EXPECT_EQ(store->read(legacy), "OTHER");
    // Removing the plain item leaves the legacy one; saving twice keeps exactly one plain item.
    DeviceIdentity::save(*store, "NEW-ID");
    DeviceIdentity::save(*store, "NEWER-ID");
    EXPECT_EQ(store->read(plain), "NEWER-ID");
    store->remove(plain);
    EXPECT_FALSE(store->read(plain));
    EXPECT_EQ(store->read(legacy), "OTHER");
    debuglog::setSink(nullptr);

    // With a Secret Service on the bus the system store uses it; asked for the file, it uses the file.
    auto system = SystemSecretStore::make();
    EXPECT_EQ(system->read(legacy), "OTHER");
    ::setenv("VOKARI_SECRET_STORE", "file", 1);
    auto file = SystemSecretStore::make();
    ::unsetenv("VOKARI_SECRET_STORE");
    EXPECT_FALSE(file->read(legacy));
    EXPECT_EQ(file->add(plain, "F"), 0);
    EXPECT_TRUE(std::filesystem::exists(FileSecretStore::defaultPath()));

    // Locked: the item is there but unreadable. No prompt blocks; nothing new is made or stored.
    DeviceIdentity::save(*store, "KEYRING-ID");
    ASSERT_TRUE(lockDefaultCollection());
    EXPECT_EQ(store->lookup(plain).status, SecretLookup::Status::unavailable);
    auto mirror = std::make_shared<FileSecretStore>(session.directory() / "mirror.json");
    ASSERT_EQ(mirror->add(plain, "KEYRING-ID"), 0);
    FallbackSecretStore withMirror(store, mirror);
    EXPECT_EQ(DeviceIdentity::settle(withMirror, defaults), "KEYRING-ID");
    auto temporary = DeviceIdentity::settle(*store, defaults);
    EXPECT_EQ(temporary.size(), 36u);
    EXPECT_NE(temporary, "KEYRING-ID");
    EXPECT_EQ(mirror->read(plain), "KEYRING-ID");
}

TEST(SecretService, WithoutASessionBusTheFileStoreIsUsed) {
    EnvironmentGuard environment;
    test::TempDir data;
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", data.path().c_str(), 1); // no "bus" socket here either
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("DISPLAY");
    auto store = SystemSecretStore::make();
    SecretQuery plain{"ai.vokari", "deviceId", false};
    EXPECT_EQ(store->add(plain, "FILE-ID"), 0);
    EXPECT_EQ(FileSecretStore(data / "vokari" / "secrets.json").read(plain), "FILE-ID");
}

} // namespace
} // namespace vokari
