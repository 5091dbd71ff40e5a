// SPDX-License-Identifier: Apache-2.0
// The registry's SQLite file: keys as rows linked to their parent, values
// as rows of their key. One Store serves one registry call inside one
// transaction; deleting a key takes its subkeys and values with it.
#pragma once

#include "platform/cache/Sqlite.h"
#include "platform/kernel/WinTypes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace registry {

/// The layout of the store this program makes and reads, kept in the
/// file's user_version. A store of a later layout is not opened.
constexpr int kRegistryVersion = 1;

/// Key names from the root down; empty for the root itself.
using KeyPath = std::vector<std::u16string>;

struct Value {
    std::u16string name;
    DWORD type = 0;
    std::vector<std::uint8_t> data;
};

/// What a call does with the store.
enum class Access {
    Read,   ///< reads only
    Write,  ///< writes, creating the folder and the file when needed
    Remove, ///< deletes: writes, but a store that is not there stays so
};

class Store {
  public:
    /// Opens the store and starts the call's transaction. A read or a
    /// removal on a store that does not exist yet gives ERROR_FILE_NOT_FOUND
    /// and makes nothing; a write creates the folder and the file. Other
    /// failures give ERROR_CANTREAD or ERROR_CANTWRITE, and the file and the
    /// reason are kept for GetLastRegistryFailure: among them a store made
    /// by a newer release, which is left untouched.
    static LONG Open(Access access, std::unique_ptr<Store>& store);

    /// The id of the key at `path`, or nothing.
    std::optional<std::int64_t> FindKey(const KeyPath& path);
    /// The id of the key at `path`, made with any missing parent; nothing
    /// when a write failed.
    std::optional<std::int64_t> CreateKey(const KeyPath& path, bool& created);

    [[nodiscard]] bool HasSubkeys(std::int64_t key);
    [[nodiscard]] bool DeleteKey(std::int64_t key);
    /// Deletes the subkeys and values of `key`, keeping the key.
    [[nodiscard]] bool ClearKey(std::int64_t key);
    /// The name of the subkey at `index` in name order, or nothing.
    std::optional<std::u16string> SubkeyAt(std::int64_t key, DWORD index);

    [[nodiscard]] bool SetValue(std::int64_t key, const Value& value);
    std::optional<Value> GetValue(std::int64_t key, const std::u16string& name);
    /// Whether a value existed; `failed` tells a write failure.
    [[nodiscard]] bool DeleteValue(std::int64_t key, const std::u16string& name, bool& failed);
    /// The value at `index` in the order values were first set, or nothing.
    std::optional<Value> ValueAt(std::int64_t key, DWORD index);

    /// Ends the call: commits a write. False when the commit failed.
    [[nodiscard]] bool Commit();

  private:
    Store(urlcache::SqliteDb db, Access access);

    urlcache::SqliteDb m_db;
    std::unique_ptr<urlcache::Transaction> m_transaction;
};

} // namespace registry
