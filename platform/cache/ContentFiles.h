// SPDX-License-Identifier: Apache-2.0
// The cache's content files: one per stored response, under
// <root>/content/, written first as a temporary under <root>/tmp/.
//
// A temporary is held under an exclusive flock for as long as its writer
// lives, so a sweep can tell a live writer's file from one left by a killed
// process: the kernel drops the lock with the process.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace urlcache {

/// Owns a file descriptor.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }

  private:
    int m_fd = -1;
};

/// A content file being written.
class PendingContent {
  public:
    /// A new locked temporary under `root`/tmp; nullopt, with errno set,
    /// when it cannot be made.
    static std::optional<PendingContent> Create(const std::string& root);

    PendingContent(PendingContent&& other) noexcept;
    PendingContent& operator=(PendingContent&&) = delete;
    ~PendingContent();

    /// False with errno set when the bytes could not be written.
    [[nodiscard]] bool Append(const char* data, std::size_t size);

    /// The temporary's path, for reports.
    const std::string& Path() const { return m_tempPath; }

    /// Renames the file into `root`/content/ under a fresh random name (64
    /// bits: no two downloads meet) and returns that name, relative to the
    /// content folder. Called only while holding the index's write lock, in
    /// the transaction that writes the rows naming the file: a sweep that
    /// holds that lock then sees no file about to be named (ContentSweep.h). The bytes are not
    /// forced to disk: a process that dies after the rename still leaves a whole file, and what a
    /// power failure may cut short is caught on lookup, where the file must have the size its index
    /// row records. Forcing every download to disk would cost a crawl several milliseconds per
    /// resource.
    std::optional<std::string> Publish(const std::string& extension);

  private:
    PendingContent(std::string root, std::string tempPath, FileDescriptor fd);

    std::string m_root;
    std::string m_tempPath;
    FileDescriptor m_fd;
};

/// A name as long as Publish gives for `extension` (wide, as the index
/// keeps it), for sizing what will name such a file.
std::string ContentName(const std::u16string& extension);

/// The full path of content file `name`.
std::string ContentPath(const std::string& root, const std::string& name);

/// Deletes content file `name`; a missing file is not an error.
void RemoveContent(const std::string& root, const std::string& name);

/// True when the content file exists and holds exactly `size` bytes.
bool ContentMatches(const std::string& root, const std::string& name, std::uint64_t size);

/// Deletes the temporaries whose writers are gone.
void SweepStaleTemporaries(const std::string& root);

/// The names in the content folder that have the form Publish gives.
std::vector<std::string> ListContent(const std::string& root);

/// Makes the content and temporaries folders under `root` (content first);
/// false with errno set when either cannot be made.
[[nodiscard]] bool MakeContentFolders(const std::string& root);

/// Creates `path` and its missing parents; true when it exists afterwards,
/// else false with errno set.
[[nodiscard]] bool MakeDirectories(const std::string& path);

} // namespace urlcache
