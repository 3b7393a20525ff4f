#include "platform/linux/secrets/LibsecretStore.h"

#include <libsecret/secret.h>

#include <functional>
#include <mutex>

namespace vokari {
namespace {

const SecretSchema* schema() {
    // DONT_MATCH_NAME: items are found by their attributes alone, whichever program wrote them.
    static const SecretSchema s = [] {
        SecretSchema v{};
        v.name = "ai.vokari.GenericPassword";
        v.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        v.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        v.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        v.attributes[2] = {"synchronizable", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return v;
    }();
    return &s;
}

GHashTable* attributesFor(const SecretQuery& q) {
    GHashTable* a = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    g_hash_table_insert(a, g_strdup("service"), g_strdup(q.service.c_str()));
    g_hash_table_insert(a, g_strdup("account"), g_strdup(q.account.c_str()));
    if (q.synchronizable) {
        g_hash_table_insert(a, g_strdup("synchronizable"), g_strdup("true"));
    }
    return a;
}

// A search by service and account also finds items with more attributes; only the exact variant counts.
bool isVariant(SecretItem* item, const SecretQuery& q) {
    GHashTable* a = secret_item_get_attributes(item);
    auto* sync = static_cast<const char*>(g_hash_table_lookup(a, "synchronizable"));
    bool matches = q.synchronizable ? (sync && std::string(sync) == "true") : sync == nullptr;
    g_hash_table_unref(a);
    return matches;
}

} // namespace

struct LibsecretStore::Impl {
    SecretService* service = nullptr;
    std::mutex mutex;

    // Calls fn for each matching item (secrets loaded when asked); returns false when the search failed.
    bool forEach(const SecretQuery& q, bool loadSecrets, const std::function<void(SecretItem*)>& fn) {
        GHashTable* attrs = attributesFor(q);
        GError* error = nullptr;
        // No SECRET_SEARCH_UNLOCK: an unlock prompt would block start-up. Locked items are found without
        // their secret, which lookup() reports as unavailable.
        auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | (loadSecrets ? SECRET_SEARCH_LOAD_SECRETS : 0));
        GList* items = secret_service_search_sync(service, schema(), attrs, flags, nullptr, &error);
        g_hash_table_unref(attrs);
        if (error) {
            g_error_free(error);
            return false;
        }
        for (GList* l = items; l; l = l->next) {
            auto* item = static_cast<SecretItem*>(l->data);
            if (isVariant(item, q)) {
                fn(item);
            }
        }
        g_list_free_full(items, g_object_unref);
        return true;
    }
};

std::shared_ptr<LibsecretStore> LibsecretStore::open() {
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (!service) {
        if (error) {
            g_error_free(error);
        }
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->service = service;
    return std::shared_ptr<LibsecretStore>(new LibsecretStore(std::move(impl)));
}

LibsecretStore::LibsecretStore(std::unique_ptr<Impl> i) : impl(std::move(i)) {}

LibsecretStore::~LibsecretStore() {
    if (impl && impl->service) {
        g_object_unref(impl->service);
    }
}

std::optional<std::string> LibsecretStore::read(const SecretQuery& query) {
    return lookup(query).value();
}

SecretLookup LibsecretStore::lookup(const SecretQuery& query) {
    try {
        std::lock_guard lock(impl->mutex);
        std::optional<std::string> found;
        bool matched = false;
        bool searched = impl->forEach(query, true, [&found, &matched](SecretItem* item) {
            matched = true;
            if (found) {
                return;
            }
            if (SecretValue* value = secret_item_get_secret(item)) {
                gsize length = 0;
                const gchar* bytes = secret_value_get(value, &length);
                found = std::string(bytes ? bytes : "", bytes ? length : 0);
                secret_value_unref(value);
            }
        });
        if (found) {
            return SecretLookup::found(std::move(*found));
        }
        // A failed search, or an item whose secret stays locked away, may well hold the identifier.
        return !searched || matched ? SecretLookup::unavailable() : SecretLookup::absent();
    } catch (...) {
        return SecretLookup::unavailable();
    }
}

void LibsecretStore::remove(const SecretQuery& query) {
    std::lock_guard lock(impl->mutex);
    impl->forEach(query, false, [](SecretItem* item) {
        GError* error = nullptr;
        secret_item_delete_sync(item, nullptr, &error);
        if (error) {
            g_error_free(error);
        }
    });
}

int LibsecretStore::add(const SecretQuery& query, const std::string& data) {
    std::lock_guard lock(impl->mutex);
    GHashTable* attrs = attributesFor(query);
    SecretValue* value = secret_value_new(data.data(), static_cast<gssize>(data.size()), "text/plain");
    std::string label = query.service + " (" + query.account + ")";
    GError* error = nullptr;
    // Created without "replace": the Secret Service would otherwise overwrite any item whose attributes include
    // these, the legacy synchronizable item among them.
    gboolean ok = FALSE;
    SecretCollection* collection = secret_collection_for_alias_sync(impl->service, SECRET_COLLECTION_DEFAULT,
                                                                    SECRET_COLLECTION_NONE, nullptr, &error);
    if (collection && !error) {
        SecretItem* item = secret_item_create_sync(collection, schema(), attrs, label.c_str(), value,
                                                   SECRET_ITEM_CREATE_NONE, nullptr, &error);
        ok = item != nullptr;
        if (item) {
            g_object_unref(item);
        }
    }
    if (collection) {
        g_object_unref(collection);
    }
    secret_value_unref(value);
    g_hash_table_unref(attrs);
    int status = 0;
    if (!ok || error) {
        status = error && error->code != 0 ? error->code : -1;
    }
    if (error) {
        g_error_free(error);
    }
    return status;
}

} // namespace vokari
