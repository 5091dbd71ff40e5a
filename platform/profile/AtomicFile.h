// SPDX-License-Identifier: Apache-2.0
// Whole-file reads and crash-safe whole-file replacement, with the advisory
// lock that serialises writers across processes.
//
// A file replaced here is never seen half written: the new contents go to a
// temporary file in the same directory, are flushed to disk, and are then
// renamed over the old file, which the kernel does in one step. Readers
// therefore always see either the old or the new file. The lock is still
// needed for read-modify-write: without it two writers would both start
// from the same old text and the later rename would drop the earlier change.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

/// Owns one file descriptor and closes it when destroyed.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release();

    /// Closes now, reporting what close reports: for a file just written,
    /// a failed close can mean the data did not reach the disk.
    std::error_code Close();

  private:
    int m_fd = -1;
};

/// An flock on a separate lock file, held from construction until
/// destruction. The lock file is created when missing and never removed:
/// removing it would let a late process lock a file that no one else sees.
class FileLock {
  public:
    enum class Mode { Shared, Exclusive };

    /// Opens (creating if needed) `lockPath` and waits for the lock.
    FileLock(const std::string& lockPath, Mode mode);

    /// Zero when the lock is held.
    std::error_code Error() const { return m_error; }

  private:
    UniqueFd m_fd;
    std::error_code m_error;
};

/// Reads the whole file at `path` into `contents`. A missing file gives
/// std::errc::no_such_file_or_directory.
std::error_code ReadWholeFile(const std::string& path, std::string& contents);

/// Replaces the file at `path` with `contents` atomically and durably. When
/// `path` is a symbolic link, the file it points to is replaced and the link
/// kept. An existing file's permission bits are kept; a new file is private
/// to its owner (0600).
std::error_code ReplaceFileAtomically(const std::string& path, std::string_view contents);
