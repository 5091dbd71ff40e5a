// SPDX-License-Identifier: Apache-2.0
#include "platform/profile/PrivateProfile.h"

#include "platform/profile/AtomicFile.h"
#include "platform/profile/ConfigPaths.h"
#include "platform/profile/IniText.h"
#include "platform/text/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <vector>

namespace {

// The Windows reason for a failed system call. A missing name means a
// missing file to a reader but a missing directory to a writer, who would
// have created the file.
DWORD WindowsError(std::error_code error, DWORD whenMissing) {
    return error.value() == ENOENT ? whenMissing : ErrorFromErrno(error.value());
}

// The entries of a double-zero-terminated list.
std::vector<std::u16string> SplitEntries(const char16_t* entries) {
    std::vector<std::u16string> list;
    for (const char16_t* p = entries; *p != 0;) {
        list.emplace_back(p);
        p += list.back().size() + 1;
    }
    return list;
}

// Fills `buffer` with the zero-separated entries and the final zero, cut
// when they do not fit, and returns the count the caller is promised.
DWORD CopyEntries(const std::vector<std::u16string>& entries, char16_t* buffer, DWORD size) {
    std::u16string text;
    for (const std::u16string& entry : entries) {
        text.append(entry).push_back(0);
    }
    const auto length = static_cast<DWORD>(text.size());
    if (length + 1 <= size) {
        std::copy(text.begin(), text.end(), buffer);
        buffer[length] = 0;
        if (length == 0 && size > 1) {
            buffer[1] = 0; // an empty list is still two zero units when room allows
        }
        return length;
    }
    if (size < 2) {
        buffer[0] = 0;
        return 0;
    }
    std::copy_n(text.begin(), size - 2, buffer);
    buffer[size - 2] = 0;
    buffer[size - 1] = 0;
    return size - 2;
}

DWORD EmptyResult(char16_t* buffer, DWORD size, DWORD error) {
    CopyEntries({}, buffer, size);
    SetLastError(error);
    return 0;
}

// The path of an existing (or about to be created) settings file, making
// the configuration directory when a bare name needs it.
std::error_code PrepareForWrite(const char16_t* fileName, std::string& path) {
    path = ProfileFilePath(fileName);
    if (path.empty()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (IsBareProfileName(fileName)) {
        return CreateDirectories(path.substr(0, path.rfind('/')));
    }
    return {};
}

std::error_code ReadSectionLocked(const std::string& path, std::u16string_view section,
                                  std::vector<std::u16string>& entries) {
    // Writers rename a complete file into place, so a reader that cannot
    // make the lock file (say in a read-only directory) still never sees a
    // torn file; the shared lock only keeps it from overlapping a writer.
    const FileLock lock(path + ".lock", FileLock::Mode::Shared);
    std::string text;
    if (std::error_code error = ReadWholeFile(path, text)) {
        return error;
    }
    entries = ReadIniSection(text, section);
    return {};
}

std::error_code WriteSectionLocked(const std::string& path, std::u16string_view section,
                                   const std::vector<std::u16string>& entries) {
    const FileLock lock(path + ".lock", FileLock::Mode::Exclusive);
    if (lock.Error()) {
        return lock.Error();
    }
    std::string text;
    std::error_code error = ReadWholeFile(path, text);
    const bool exists = !error;
    if (error && error != std::errc::no_such_file_or_directory) {
        return error;
    }
    const std::string updated = ReplaceIniSection(text, section, entries);
    if (exists && updated == text) {
        return {}; // saving the same choices again costs no disk writes
    }
    return ReplaceFileAtomically(path, updated);
}

thread_local bool t_writeFailed = false;
thread_local ProfileWriteFailure t_writeFailure;

BOOL WriteFailed(std::string path, DWORD error, std::string reason) {
    t_writeFailure = {std::move(path), error, std::move(reason)};
    t_writeFailed = true;
    SetLastError(error);
    return FALSE;
}

bool ArgumentsStorable(std::u16string_view section, const std::vector<std::u16string>& entries) {
    return IsStorableSectionName(section) &&
           std::all_of(entries.begin(), entries.end(),
                       [](const std::u16string& entry) { return IsStorableEntry(entry); });
}

} // namespace

DWORD GetPrivateProfileSectionW(const char16_t* section, char16_t* buffer, DWORD size,
                                const char16_t* fileName) {
    if (buffer == nullptr || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (section == nullptr || fileName == nullptr) {
        return EmptyResult(buffer, size, ERROR_INVALID_PARAMETER);
    }
    try {
        const std::string path = ProfileFilePath(fileName);
        if (path.empty()) {
            return EmptyResult(buffer, size, ERROR_FILE_NOT_FOUND);
        }
        std::vector<std::u16string> entries;
        if (std::error_code error = ReadSectionLocked(path, section, entries)) {
            return EmptyResult(buffer, size, WindowsError(error, ERROR_FILE_NOT_FOUND));
        }
        return CopyEntries(entries, buffer, size);
    } catch (const std::bad_alloc&) {
        return EmptyResult(buffer, size, ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL WritePrivateProfileSectionW(const char16_t* section, const char16_t* entries,
                                 const char16_t* fileName) {
    if (section == nullptr || entries == nullptr || fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        const std::vector<std::u16string> list = SplitEntries(entries);
        if (!ArgumentsStorable(section, list)) {
            return WriteFailed(ProfileFilePath(fileName), ERROR_INVALID_PARAMETER,
                               "the section name or an entry cannot be a line of the file");
        }
        std::string path;
        std::error_code error = PrepareForWrite(fileName, path);
        if (!error) {
            error = WriteSectionLocked(path, section, list);
        }
        if (error) {
            return WriteFailed(path, WindowsError(error, ERROR_PATH_NOT_FOUND), error.message());
        }
        t_writeFailed = false; // a later success means the choices are kept again
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

std::string GetPrivateProfilePath(const char16_t* fileName) {
    return fileName == nullptr ? std::string() : ProfileFilePath(fileName);
}

bool IsStorableProfileKey(std::u16string_view key) {
    if (key.empty() || key.find(u'\0') != std::u16string_view::npos) {
        return false;
    }
    std::u16string entry(key);
    entry += u"=0";
    return IsStorableEntry(entry) && Utf8ToUtf16(Utf16ToUtf8(key)) == key;
}

bool GetLastProfileWriteFailure(ProfileWriteFailure& failure) {
    if (t_writeFailed) {
        failure = t_writeFailure;
    }
    return t_writeFailed;
}
