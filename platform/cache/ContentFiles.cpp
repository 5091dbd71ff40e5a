// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/ContentFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <utility>

namespace urlcache {

namespace {

constexpr const char* kTempPrefix = "partial-";

// Fresh kernel randomness for every name: a generator state copied into
// forked processes would hand two writers the same names.
std::string RandomName() {
    unsigned long long value = 0;
    while (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", value);
    return text;
}

std::string TempDir(const std::string& root) {
    return root + "/tmp";
}
std::string ContentDir(const std::string& root) {
    return root + "/content";
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool SameFile(int fd, const std::string& path) {
    struct stat byFd {};
    struct stat byPath {};
    return ::fstat(fd, &byFd) == 0 && ::stat(path.c_str(), &byPath) == 0 &&
           byFd.st_dev == byPath.st_dev && byFd.st_ino == byPath.st_ino;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

FileDescriptor::~FileDescriptor() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

PendingContent::PendingContent(std::string root, std::string tempPath, FileDescriptor fd)
    : m_root(std::move(root)), m_tempPath(std::move(tempPath)), m_fd(std::move(fd)) {}

std::optional<PendingContent> PendingContent::Create(const std::string& root) {
    // Opening the cache makes the folders; they are made again here only
    // when a file cannot be created without them (the folder was removed
    // in use): checking them for every download would cost a crawl a dozen
    // system calls per resource.
    bool madeFolders = false;
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string path = TempDir(root) + "/" + kTempPrefix + RandomName();
        FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.Valid() && errno == ENOENT && !madeFolders) {
            madeFolders = true;
            if (!MakeContentFolders(root)) {
                return std::nullopt;
            }
            fd = FileDescriptor(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        }
        if (!fd.Valid()) {
            continue;
        }
        // A sweep may have taken the file between open and lock; only a file
        // that is still ours under its name after locking is used.
        if (::flock(fd.Get(), LOCK_EX) == 0 && SameFile(fd.Get(), path)) {
            return PendingContent(root, std::move(path), std::move(fd));
        }
    }
    return std::nullopt;
}

PendingContent::PendingContent(PendingContent&& other) noexcept
    : m_root(std::move(other.m_root)), m_tempPath(std::exchange(other.m_tempPath, {})),
      m_fd(std::move(other.m_fd)) {}

PendingContent::~PendingContent() {
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
    }
}

bool PendingContent::Append(const char* data, std::size_t size) {
    return m_fd.Valid() && WriteAll(m_fd.Get(), data, size);
}

bool MakeContentFolders(const std::string& root) {
    // The content folder first: a writer that finds the temporaries'
    // folder in place may publish into the content folder at once.
    return MakeDirectories(ContentDir(root)) && MakeDirectories(TempDir(root));
}

std::optional<std::string> PendingContent::Publish(const std::string& extension) {
    if (!m_fd.Valid()) {
        return std::nullopt;
    }
    const std::string name = RandomName() + (extension.empty() ? "" : "." + extension);
    if (::rename(m_tempPath.c_str(), ContentPath(m_root, name).c_str()) != 0) {
        return std::nullopt;
    }
    m_tempPath.clear();
    return name;
}

std::string ContentName(const std::u16string& extension) {
    std::string name(16, '0');
    if (!extension.empty()) {
        name += '.';
        name.append(extension.size(), 'x');
    }
    return name;
}

std::string ContentPath(const std::string& root, const std::string& name) {
    return ContentDir(root) + "/" + name;
}

void RemoveContent(const std::string& root, const std::string& name) {
    ::unlink(ContentPath(root, name).c_str());
}

bool ContentMatches(const std::string& root, const std::string& name, std::uint64_t size) {
    struct stat info {};
    return ::stat(ContentPath(root, name).c_str(), &info) == 0 &&
           static_cast<std::uint64_t>(info.st_size) == size;
}

void SweepStaleTemporaries(const std::string& root) {
    const std::string dir = TempDir(root);
    const std::unique_ptr<DIR, DirCloser> listing(::opendir(dir.c_str()));
    if (!listing) {
        return;
    }
    while (const dirent* item = ::readdir(listing.get())) {
        const std::string name = item->d_name;
        if (!name.starts_with(kTempPrefix)) {
            continue;
        }
        std::string path = dir;
        path.append("/").append(name);
        const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.Valid() && ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) {
            ::unlink(path.c_str());
        }
    }
}

namespace {

bool IsContentName(const std::string& name) {
    const std::size_t dot = name.find('.');
    const std::size_t stem = dot == std::string::npos ? name.size() : dot;
    if (stem != 16) {
        return false;
    }
    for (std::size_t i = 0; i < stem; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<std::string> ListContent(const std::string& root) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, DirCloser> listing(::opendir(ContentDir(root).c_str()));
    if (!listing) {
        return names;
    }
    while (const dirent* item = ::readdir(listing.get())) {
        std::string name = item->d_name;
        if (IsContentName(name)) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

bool MakeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR; // for the caller's report: a file stands in the way
        return false;
    }
    return true;
}

} // namespace urlcache
