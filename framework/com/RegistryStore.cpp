// SPDX-License-Identifier: Apache-2.0
#include "framework/com/RegistryStore.h"

#include "framework/com/Registry.h"
#include "platform/profile/ConfigPaths.h"
#include "platform/text/Utf8.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace registry {

namespace {

constexpr int kBusyTimeoutMs = 10000;
constexpr std::int64_t kRootId = 1;

// The store has had one layout, and every release recorded it as version 1.
// Names compare without regard to A-Z case, as registry names do. Value
// rows keep their rowid order, which is the order values were first set.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys (
    id INTEGER PRIMARY KEY,
    parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL COLLATE NOCASE,
    UNIQUE (parent, name)
);
CREATE TABLE IF NOT EXISTS key_values (
    key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE (key, name)
);
INSERT OR IGNORE INTO keys (id, parent, name) VALUES (1, NULL, 'HKEY_CLASSES_ROOT');
)sql";

thread_local std::string t_lastFailure;

LONG Failed(LONG error, const std::string& path, const std::string& reason) {
    t_lastFailure = path + ": " + reason;
    return error;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

/// No release made a store without recording its version: one that says 0
/// yet holds tables can only have the one layout there has been.
int DetectLayout(sqlite3*) {
    return 1;
}

constexpr urlcache::SchemaHistory kHistory{kRegistryVersion, kSchema, &DetectLayout, {}};

} // namespace

LONG Store::Open(Access access, std::unique_ptr<Store>& store) {
    const LONG failure = access == Access::Read ? ERROR_CANTREAD : ERROR_CANTWRITE;
    t_lastFailure.clear();
    const std::string path = RegistryFilePath();
    if (path.empty()) {
        t_lastFailure = "no place for the registry: neither XDG_DATA_HOME nor HOME is usable";
        return failure;
    }
    if (!Exists(path)) {
        if (access != Access::Write) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (CreateDirectories(path.substr(0, path.rfind('/')))) {
            return Failed(failure, path, std::strerror(errno));
        }
    }
    UrlCacheFailure opened;
    urlcache::SqliteDb db = urlcache::OpenDatabase(path, &opened);
    if (!db) {
        return Failed(failure, path, Utf16ToUtf8(opened.reason));
    }
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    if (!urlcache::Execute(db.get(), "PRAGMA foreign_keys = ON")) {
        return Failed(failure, path, sqlite3_errmsg(db.get()));
    }
    // Two processes may race to make a new store; the second waits for the
    // first's write lock and then finds it made.
    if (!urlcache::UpgradeSchema(db.get(), path, kHistory, &opened)) {
        return Failed(failure, path, Utf16ToUtf8(opened.reason));
    }
    store.reset(new Store(std::move(db), access));
    if (!store->m_transaction->Begun()) {
        return Failed(failure, path, sqlite3_errmsg(store->m_db.get()));
    }
    return ERROR_SUCCESS;
}

Store::Store(urlcache::SqliteDb db, Access access) : m_db(std::move(db)) {
    using Mode = urlcache::Transaction::Mode;
    m_transaction = std::make_unique<urlcache::Transaction>(
        m_db.get(), access == Access::Read ? Mode::Read : Mode::Write);
}

bool Store::Commit() {
    return m_transaction->Commit();
}

std::optional<std::int64_t> Store::FindKey(const KeyPath& path) {
    std::int64_t id = kRootId;
    for (const std::u16string& name : path) {
        urlcache::Statement find(m_db.get(), "SELECT id FROM keys WHERE parent = ?1 AND name = ?2");
        find.Bind(1, id).Bind(2, std::u16string_view(name));
        if (!find.Step()) {
            return std::nullopt;
        }
        id = find.Int(0);
    }
    return id;
}

std::optional<std::int64_t> Store::CreateKey(const KeyPath& path, bool& created) {
    created = false;
    std::int64_t id = kRootId;
    for (const std::u16string& name : path) {
        urlcache::Statement find(m_db.get(), "SELECT id FROM keys WHERE parent = ?1 AND name = ?2");
        find.Bind(1, id).Bind(2, std::u16string_view(name));
        if (find.Step()) {
            id = find.Int(0);
            continue;
        }
        if (find.Failed()) {
            return std::nullopt;
        }
        urlcache::Statement insert(m_db.get(), "INSERT INTO keys (parent, name) VALUES (?1, ?2)");
        insert.Bind(1, id).Bind(2, std::u16string_view(name)).Step();
        if (insert.Failed()) {
            return std::nullopt;
        }
        id = sqlite3_last_insert_rowid(m_db.get());
        created = true;
    }
    return id;
}

bool Store::HasSubkeys(std::int64_t key) {
    urlcache::Statement child(m_db.get(), "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
    child.Bind(1, key);
    return child.Step();
}

bool Store::DeleteKey(std::int64_t key) {
    urlcache::Statement remove(m_db.get(), "DELETE FROM keys WHERE id = ?1");
    remove.Bind(1, key).Step();
    return !remove.Failed();
}

bool Store::ClearKey(std::int64_t key) {
    urlcache::Statement children(m_db.get(), "DELETE FROM keys WHERE parent = ?1");
    children.Bind(1, key).Step();
    urlcache::Statement values(m_db.get(), "DELETE FROM key_values WHERE key = ?1");
    values.Bind(1, key).Step();
    return !children.Failed() && !values.Failed();
}

std::optional<std::u16string> Store::SubkeyAt(std::int64_t key, DWORD index) {
    urlcache::Statement at(m_db.get(), "SELECT name FROM keys WHERE parent = ?1 "
                                       "ORDER BY name, id LIMIT 1 OFFSET ?2");
    at.Bind(1, key).Bind(2, std::int64_t{index});
    if (!at.Step()) {
        return std::nullopt;
    }
    return at.Text16(0);
}

bool Store::SetValue(std::int64_t key, const Value& value) {
    urlcache::Statement set(
        m_db.get(), "INSERT INTO key_values (key, name, type, data) VALUES (?1, ?2, ?3, ?4) "
                    "ON CONFLICT (key, name) DO UPDATE SET type = excluded.type, "
                    "data = excluded.data");
    set.Bind(1, key).Bind(2, std::u16string_view(value.name)).Bind(3, std::int64_t{value.type});
    set.BindBlob(4, value.data.data(), value.data.size()).Step();
    return !set.Failed();
}

std::optional<Value> Store::GetValue(std::int64_t key, const std::u16string& name) {
    urlcache::Statement get(m_db.get(),
                            "SELECT name, type, data FROM key_values WHERE key = ?1 AND name = ?2");
    get.Bind(1, key).Bind(2, std::u16string_view(name));
    if (!get.Step()) {
        return std::nullopt;
    }
    return Value{get.Text16(0), static_cast<DWORD>(get.Int(1)), get.Blob(2)};
}

bool Store::DeleteValue(std::int64_t key, const std::u16string& name, bool& failed) {
    urlcache::Statement remove(m_db.get(), "DELETE FROM key_values WHERE key = ?1 AND name = ?2");
    remove.Bind(1, key).Bind(2, std::u16string_view(name)).Step();
    failed = remove.Failed();
    return !failed && sqlite3_changes(m_db.get()) > 0;
}

std::optional<Value> Store::ValueAt(std::int64_t key, DWORD index) {
    urlcache::Statement at(m_db.get(), "SELECT name, type, data FROM key_values WHERE key = ?1 "
                                       "ORDER BY rowid LIMIT 1 OFFSET ?2");
    at.Bind(1, key).Bind(2, std::int64_t{index});
    if (!at.Step()) {
        return std::nullopt;
    }
    return Value{at.Text16(0), static_cast<DWORD>(at.Int(1)), at.Blob(2)};
}

} // namespace registry

std::string RegistryFilePath() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/dravik/registry.sqlite";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.local/share/dravik/registry.sqlite";
    }
    return {};
}

std::string GetLastRegistryFailure() {
    return registry::t_lastFailure;
}
