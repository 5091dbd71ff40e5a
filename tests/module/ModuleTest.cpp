// SPDX-License-Identifier: Apache-2.0
#include "module/ModuleTest.h"

#include "platform/text/Utf8.h"

#include <dlfcn.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>

namespace {

// Every key of the registry file with its values, read from the SQLite file
// itself: "path|name=text" per value, and the bare path of a key that has
// neither values nor subkeys. Paths leave out the root's own name.
constexpr const char* kDumpQuery = R"sql(
WITH RECURSIVE tree(id, path) AS (
    SELECT id, '' FROM keys WHERE parent IS NULL
    UNION ALL
    SELECT k.id, CASE WHEN t.path = '' THEN k.name ELSE t.path || '\' || k.name END
    FROM keys k JOIN tree t ON k.parent = t.id)
SELECT t.path, v.name, v.data, (SELECT count(*) FROM keys c WHERE c.parent = t.id)
FROM tree t LEFT JOIN key_values v ON v.key = t.id
)sql";

// A REG_SZ value's bytes: UTF-16 with its terminator.
std::string ValueText(const void* data, int bytes) {
    std::u16string text(static_cast<const char16_t*>(data), static_cast<std::size_t>(bytes) / 2);
    if (!text.empty() && text.back() == u'\0') {
        text.pop_back();
    }
    return Utf16ToUtf8(text);
}

void Walk(std::vector<std::string>& out) {
    if (!std::filesystem::exists(RegistryFilePath())) {
        out.emplace_back(); // no store reads as an empty root
        return;
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(RegistryFilePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    sqlite3_stmt* query = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, kDumpQuery, -1, &query, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    while (sqlite3_step(query) == SQLITE_ROW) {
        std::string path = reinterpret_cast<const char*>(sqlite3_column_text(query, 0));
        if (sqlite3_column_type(query, 1) != SQLITE_NULL) {
            path.append("|")
                .append(reinterpret_cast<const char*>(sqlite3_column_text(query, 1)))
                .append("=")
                .append(ValueText(sqlite3_column_blob(query, 2), sqlite3_column_bytes(query, 2)));
            out.push_back(path);
        } else if (sqlite3_column_int(query, 3) == 0) {
            out.push_back(path);
        }
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
}

} // namespace

void ModuleTest::SetUp() {
    const char* module = std::getenv("DRAVIK_MODULE");
    ASSERT_NE(module, nullptr) << "DRAVIK_MODULE names the built module";
    char resolved[PATH_MAX];
    ASSERT_NE(::realpath(module, resolved), nullptr);
    m_module = resolved;
    m_home = (std::filesystem::temp_directory_path() /
              ("dravik-module-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                 .string();
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"}) {
        ::setenv(variable, (m_home + "/" + variable).c_str(), 1);
    }
    Fault("");
}

void ModuleTest::TearDown() {
    Fault("");
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded()) << "the module is unloaded when nothing holds it";
    std::filesystem::remove_all(m_home);
}

HRESULT ModuleTest::Call(const char* entry) const {
    const HMODULE module = LoadLibraryW(Utf8ToUtf16(m_module).c_str());
    if (module == nullptr) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    auto proc = reinterpret_cast<DllRegisterServerProc>(GetProcAddress(module, entry));
    const HRESULT hr = proc != nullptr ? proc() : E_UNEXPECTED;
    FreeLibrary(module);
    return hr;
}

bool ModuleTest::IsLoaded() const {
    void* handle = ::dlopen(m_module.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        ::dlclose(handle);
    }
    return handle != nullptr;
}

std::vector<std::string> ModuleTest::Dump() {
    std::vector<std::string> out;
    Walk(out);
    std::sort(out.begin(), out.end());
    return out;
}

void ModuleTest::Fault(const std::string& steps) {
    if (steps.empty()) {
        ::unsetenv("DRAVIK_FAULT");
    } else {
        ::setenv("DRAVIK_FAULT", steps.c_str(), 1);
    }
}
