// SPDX-License-Identifier: Apache-2.0
// The private-profile settings service: named sections of "key=value"
// entries kept in a small per-user INI file.
//
// The core reads a section whole and writes a section whole, in the forms of
// the Windows calls of the same names: a list of zero-terminated entries
// ended by a further zero unit, and a size report of the buffer size less
// two when a section does not fit. The file is UTF-8 on disk and lives in
// the user's configuration directory (see ProfileFilePath in
// platform/ConfigPaths.h for where a file name leads).
//
// Writes are atomic and serialised across processes by an flock on
// "<file>.lock" beside the file, held for the whole read-modify-write, so
// two processes saving different sections at once both keep their section
// and the file is never seen half written. Reads take the same lock shared.
#pragma once

#include "platform/kernel/LastError.h"
#include "platform/kernel/WinTypes.h"

#include <string>
#include <string_view>

/// Copies the entries of `section` from the settings file `fileName` into
/// `buffer` (`size` units): each entry exactly as stored followed by one
/// zero unit, the whole ended by a further zero unit. Entries come in file
/// order; duplicates and lines without "=" are included. Section names
/// match with the letters A to Z folded and every other unit exact.
///
/// Returns the units copied, not counting the final zero. When the section
/// does not fit, as much as fits is copied, still ended by two zero units,
/// and the result is `size` − 2: a caller grows its buffer and reads again
/// while it gets that value. A missing file or section gives 0 and an empty
/// list (a missing file also sets ERROR_FILE_NOT_FOUND); a file that cannot
/// be read gives 0 with the reason as the last error.
DWORD GetPrivateProfileSectionW(const char16_t* section, char16_t* buffer, DWORD size,
                                const char16_t* fileName);

/// Replaces every entry of `section` in the settings file `fileName` with
/// `entries`, a list of zero-terminated entries ended by a further zero
/// unit. Other sections, comments and blank lines stay byte for byte, and
/// the section keeps its place; a new section goes at the end. The
/// configuration directory is created when a bare file name needs it.
///
/// Returns TRUE on success. Returns FALSE with the last error set when the
/// file cannot be written, and with ERROR_INVALID_PARAMETER, leaving the
/// file alone, when an argument is null or when the section name or an
/// entry holds a line break or an entry would read back as something else
/// (a blank line, a ";" comment, a "[...]" header).
[[nodiscard]] BOOL WritePrivateProfileSectionW(const char16_t* section, const char16_t* entries,
                                               const char16_t* fileName);

/// The path (UTF-8) of the file that the calls above use for `fileName`,
/// for help texts and diagnostics; empty when there is none.
std::string GetPrivateProfilePath(const char16_t* fileName);

/// True when `key` can be the key of an entry ("key=value") that
/// WritePrivateProfileSectionW stores and GetPrivateProfileSectionW reads
/// back as the same key: not empty, no zero unit or line break, not read as
/// a comment (";") or a section header ("[...]"), and text that survives
/// the file's UTF-8 (no lone surrogate). A "=" inside is stored as it
/// stands, though a reader splits the entry at the first one.
bool IsStorableProfileKey(std::u16string_view key);

/// A WritePrivateProfileSectionW that failed: the file, the Windows error
/// and the system's own words.
struct ProfileWriteFailure {
    std::string path;
    DWORD error = 0;
    std::string reason;
};

/// Why the latest WritePrivateProfileSectionW of the calling thread failed,
/// for front ends that tell the user why their choices were not kept.
/// False when it succeeded or none was made, so a front end that runs
/// several times never reports an old failure.
bool GetLastProfileWriteFailure(ProfileWriteFailure& failure);
