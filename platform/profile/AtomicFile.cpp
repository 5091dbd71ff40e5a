// SPDX-License-Identifier: Apache-2.0
#include "platform/profile/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::error_code LastErrno() {
    return {errno, std::generic_category()};
}

// A temporary file next to its destination, removed again unless it was
// renamed into place.
class TempFile {
  public:
    explicit TempFile(const std::string& destination) : m_path(destination + ".XXXXXX") {
        m_fd = UniqueFd(::mkostemp(m_path.data(), O_CLOEXEC));
        m_error = m_fd.Valid() ? std::error_code() : LastErrno();
        m_onDisk = m_fd.Valid();
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        m_fd.Close();
        if (m_onDisk) {
            ::unlink(m_path.c_str());
        }
    }

    std::error_code Error() const { return m_error; }
    UniqueFd& Fd() { return m_fd; }
    std::error_code RenameTo(const std::string& destination);

  private:
    std::string m_path;
    UniqueFd m_fd;
    std::error_code m_error;
    bool m_onDisk = false;
};

std::error_code TempFile::RenameTo(const std::string& destination) {
    if (::rename(m_path.c_str(), destination.c_str()) != 0) {
        return LastErrno();
    }
    m_onDisk = false;
    return {};
}

std::error_code WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return LastErrno();
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

// The file a path finally names: rename would replace a symbolic link itself
// with a plain file, cutting it off from where the user keeps the real one.
std::error_code FollowLinks(const std::string& path, std::string& target) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        target = path;
        return {};
    }
    std::error_code error;
    target = std::filesystem::canonical(path, error).string();
    return error;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable. Some file systems cannot sync a
// directory and say EINVAL; there is nothing more to do on those.
std::error_code SyncDirectory(const std::string& dir) {
    UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid()) {
        return LastErrno();
    }
    if (::fsync(fd.Get()) != 0 && errno != EINVAL) {
        return LastErrno();
    }
    return {};
}

mode_t ModeFor(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600;
}

std::error_code WriteDurably(TempFile& temp, std::string_view contents, mode_t mode) {
    const int fd = temp.Fd().Get();
    if (::fchmod(fd, mode) != 0) {
        return LastErrno();
    }
    if (std::error_code error = WriteAll(fd, contents)) {
        return error;
    }
    if (::fsync(fd) != 0) {
        return LastErrno();
    }
    return temp.Fd().Close();
}

} // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.Release();
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    Close();
}

int UniqueFd::Release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

std::error_code UniqueFd::Close() {
    if (m_fd < 0) {
        return {};
    }
    // The descriptor is gone after close even when it fails (EINTR included
    // on Linux), so it is never closed twice.
    const int result = ::close(Release());
    return result == 0 ? std::error_code() : LastErrno();
}

// flock does not care how the file was opened, so read access is enough
// for either mode.
FileLock::FileLock(const std::string& lockPath, Mode mode)
    : m_fd(::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600)) {
    if (!m_fd.Valid()) {
        m_error = LastErrno();
        return;
    }
    const int operation = mode == Mode::Shared ? LOCK_SH : LOCK_EX;
    while (::flock(m_fd.Get(), operation) != 0) {
        if (errno != EINTR) {
            m_error = LastErrno();
            m_fd.Close();
            return;
        }
    }
}

std::error_code ReadWholeFile(const std::string& path, std::string& contents) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        return LastErrno();
    }
    contents.clear();
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
        if (n == 0) {
            return {};
        }
        if (n < 0 && errno != EINTR) {
            return LastErrno();
        }
        contents.append(chunk, n < 0 ? 0 : static_cast<std::size_t>(n));
    }
}

std::error_code ReplaceFileAtomically(const std::string& path, std::string_view contents) {
    std::string target;
    if (std::error_code error = FollowLinks(path, target)) {
        return error;
    }
    TempFile temp(target);
    if (temp.Error()) {
        return temp.Error();
    }
    if (std::error_code error = WriteDurably(temp, contents, ModeFor(target))) {
        return error;
    }
    if (std::error_code error = temp.RenameTo(target)) {
        return error;
    }
    return SyncDirectory(DirectoryOf(target));
}
