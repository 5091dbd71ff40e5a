// SPDX-License-Identifier: Apache-2.0
// Where a cached body is cheaper: as a BLOB in the SQLite index, in the
// same transaction as its row, or as a file of its own beside the index.
//
// For each body size, stores kEntries bodies both ways the way the URL
// cache does (one write transaction per entry, WAL, synchronous=NORMAL; a
// file is written as a temporary, renamed into place, then named by its
// row), then reads each back once. Prints the time per entry of both and
// their ratio; the URL cache keeps bodies up to the largest size where the
// BLOB is still cheaper. The folder is on the disk beside the build.
//
//   bench_blob_threshold [ENTRIES]   (default 2000)
#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void Exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, sqlite3_errmsg(db));
        std::exit(1);
    }
}

sqlite3* OpenIndex(const fs::path& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    Exec(db, "PRAGMA journal_mode=WAL");
    Exec(db, "PRAGMA synchronous=NORMAL");
    Exec(db, "CREATE TABLE entries (url TEXT PRIMARY KEY, file TEXT, body BLOB)");
    return db;
}

struct Cost {
    double write = 0; // microseconds per entry
    double read = 0;
};

Cost AsBlobs(const fs::path& dir, int entries, const std::string& body) {
    sqlite3* db = OpenIndex(dir / "blob.sqlite");
    sqlite3_stmt* put = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO entries VALUES (?1, '', ?2)", -1, &put, nullptr);
    const auto start = Clock::now();
    for (int i = 0; i < entries; ++i) {
        const std::string url = "http://example/" + std::to_string(i);
        Exec(db, "BEGIN IMMEDIATE");
        sqlite3_bind_text(put, 1, url.data(), static_cast<int>(url.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(put, 2, body.data(), static_cast<int>(body.size()), SQLITE_STATIC);
        sqlite3_step(put);
        sqlite3_reset(put);
        Exec(db, "COMMIT");
    }
    const auto written = Clock::now();
    sqlite3_stmt* get = nullptr;
    sqlite3_prepare_v2(db, "SELECT body FROM entries WHERE url = ?1", -1, &get, nullptr);
    std::size_t total = 0;
    for (int i = 0; i < entries; ++i) {
        const std::string url = "http://example/" + std::to_string(i);
        sqlite3_bind_text(get, 1, url.data(), static_cast<int>(url.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(get) == SQLITE_ROW) {
            total += static_cast<std::size_t>(sqlite3_column_bytes(get, 0));
        }
        sqlite3_reset(get);
    }
    const auto read = Clock::now();
    sqlite3_finalize(put);
    sqlite3_finalize(get);
    sqlite3_close(db);
    if (total != body.size() * static_cast<std::size_t>(entries)) {
        std::fprintf(stderr, "short BLOB reads\n");
    }
    return {std::chrono::duration<double, std::micro>(written - start).count() / entries,
            std::chrono::duration<double, std::micro>(read - written).count() / entries};
}

Cost AsFiles(const fs::path& dir, int entries, const std::string& body) {
    sqlite3* db = OpenIndex(dir / "file.sqlite");
    fs::create_directories(dir / "tmp");
    fs::create_directories(dir / "content");
    sqlite3_stmt* put = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO entries VALUES (?1, ?2, NULL)", -1, &put,
                       nullptr);
    const auto start = Clock::now();
    for (int i = 0; i < entries; ++i) {
        const std::string name = std::to_string(i);
        const std::string temp = (dir / "tmp" / ("partial-" + name)).string();
        const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 || ::write(fd, body.data(), body.size()) != static_cast<ssize_t>(body.size())) {
            std::fprintf(stderr, "cannot write %s\n", temp.c_str());
            std::exit(1);
        }
        ::close(fd);
        std::rename(temp.c_str(), (dir / "content" / name).c_str());
        const std::string url = "http://example/" + name;
        Exec(db, "BEGIN IMMEDIATE");
        sqlite3_bind_text(put, 1, url.data(), static_cast<int>(url.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(put, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        sqlite3_step(put);
        sqlite3_reset(put);
        Exec(db, "COMMIT");
    }
    const auto written = Clock::now();
    std::vector<char> buffer(body.size() + 1);
    std::size_t total = 0;
    for (int i = 0; i < entries; ++i) {
        const int fd = ::open((dir / "content" / std::to_string(i)).c_str(), O_RDONLY | O_CLOEXEC);
        for (ssize_t n = 0; fd >= 0 && (n = ::read(fd, buffer.data(), buffer.size())) > 0;) {
            total += static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
    const auto read = Clock::now();
    sqlite3_finalize(put);
    sqlite3_close(db);
    if (total != body.size() * static_cast<std::size_t>(entries)) {
        std::fprintf(stderr, "short file reads\n");
    }
    return {std::chrono::duration<double, std::micro>(written - start).count() / entries,
            std::chrono::duration<double, std::micro>(read - written).count() / entries};
}

} // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const fs::path root = fs::canonical("/proc/self/exe").parent_path() /
                          ("blob-scratch-" + std::to_string(::getpid()));
    std::printf("%d entries per size; microseconds per entry (write, then one read)\n", entries);
    std::printf("%9s %10s %10s %10s %10s %12s\n", "size", "blob w", "file w", "blob r", "file r",
                "blob/file");
    for (const std::size_t size : {512u, 4096u, 16384u, 65536u, 131072u, 262144u, 524288u}) {
        fs::remove_all(root);
        fs::create_directories(root);
        const std::string body(size, 'b');
        const Cost blob = AsBlobs(root, entries, body);
        const Cost file = AsFiles(root, entries, body);
        std::printf("%9zu %10.1f %10.1f %10.1f %10.1f %12.2f\n", size, blob.write, file.write,
                    blob.read, file.read, (blob.write + blob.read) / (file.write + file.read));
    }
    fs::remove_all(root);
    return 0;
}
