// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/HeldReads.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace urlcache {

namespace {

/// The connections with reads held: a handful at most.
class HeldConnections {
  public:
    bool Contains(sqlite3* db) {
        const std::lock_guard lock(m_mutex);
        return std::find(m_held.begin(), m_held.end(), db) != m_held.end();
    }
    void Add(sqlite3* db) {
        const std::lock_guard lock(m_mutex);
        m_held.push_back(db);
    }
    bool Remove(sqlite3* db) {
        const std::lock_guard lock(m_mutex);
        const auto found = std::find(m_held.begin(), m_held.end(), db);
        if (found == m_held.end()) {
            return false;
        }
        m_held.erase(found);
        return true;
    }

  private:
    std::mutex m_mutex;
    std::vector<sqlite3*> m_held;
};

HeldConnections& Held() {
    static HeldConnections* held = new HeldConnections(); // outlives every connection
    return *held;
}

} // namespace

bool HoldReads(sqlite3* db) {
    if (Held().Contains(db)) {
        return true;
    }
    // A deferred BEGIN takes no lock: the first read does, and keeps it.
    if (sqlite3_get_autocommit(db) == 0 ||
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return false;
    }
    Held().Add(db);
    return true;
}

bool ReadsHeld(sqlite3* db) {
    return Held().Contains(db);
}

void EndHeldReads(sqlite3* db) {
    if (Held().Remove(db) && sqlite3_get_autocommit(db) == 0 &&
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        // Nothing was written in it: a rollback ends it just as well.
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void ForgetHeldReads(sqlite3* db) {
    Held().Remove(db);
}

} // namespace urlcache
