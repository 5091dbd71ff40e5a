// SPDX-License-Identifier: Apache-2.0
// Reads held together: one read transaction left open on a connection across
// many look-ups, so that each look-up does not take and drop the database's
// file locks (in WAL mode a read alone locks and unlocks the shared index
// several times, and checks the files).
//
// Anything that writes on the connection ends the held reads first (a
// statement that writes, Execute, a write Transaction: Sqlite.h), so a write
// never builds on a view older than the file and never has to upgrade a read
// transaction another process has overtaken. Other processes' writes stay
// unseen while reads are held: the holder ends them within moments.
#pragma once

#include <sqlite3.h>

namespace urlcache {

/// Begins holding reads on `db` unless a transaction is open on it already;
/// true when reads are held afterwards.
bool HoldReads(sqlite3* db);

/// Whether reads are held on `db`.
bool ReadsHeld(sqlite3* db);

/// Ends the reads held on `db`, if any.
void EndHeldReads(sqlite3* db);

/// Forgets `db`, which is being closed (an open transaction ends with it).
void ForgetHeldReads(sqlite3* db);

} // namespace urlcache
