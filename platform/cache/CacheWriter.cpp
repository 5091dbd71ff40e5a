// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/CacheWriter.h"

#include "platform/cache/CacheKey.h"
#include "platform/cache/RecentBodies.h"
#include "platform/cache/UrlCacheStore.h"
#include "platform/kernel/FileTime.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>

namespace urlcache {

namespace {

std::uint64_t NowTicks() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return FileTimeToTicks(now);
}

std::string NarrowExtension(const std::u16string& extension) {
    std::string out;
    for (const char16_t unit : extension) {
        out += static_cast<char>(unit);
    }
    return out;
}

/// Puts one row per distinct key; collects the files of the rows replaced.
bool PutRows(CacheIndex& index, const EntryRecord& base, std::string_view body,
             const std::vector<std::u16string>& urls, std::vector<std::string>& replaced) {
    std::vector<std::u16string> keys;
    for (const std::u16string& url : urls) {
        std::u16string key = CacheKeyOf(url);
        if (std::find(keys.begin(), keys.end(), key) != keys.end()) {
            continue; // two spellings of one address
        }
        keys.push_back(key);
        std::optional<EntryRecord> old;
        if (!index.Find(key, old)) {
            return false;
        }
        EntryRecord record = base;
        record.url = std::move(key);
        if (old) {
            record.useCount = old->useCount;
            record.hitCount = old->hitCount;
            if (!old->inIndex) {
                replaced.push_back(old->file);
            }
        }
        if (!index.Put(record, body)) {
            return false;
        }
    }
    return true;
}

/// Whether the rows may wait in memory for the batch of entries: the body
/// is kept in the index and no row it replaces names a content file (an
/// entry that frees one is written at once).
bool MayWait(CacheIndex& index, const EntryRecord& base, const std::vector<std::u16string>& urls) {
    if (!index.Staging() || !base.inIndex) {
        return false;
    }
    for (const std::u16string& url : urls) {
        std::optional<EntryRecord> old;
        if (!index.Find(CacheKeyOf(url), old) || (old && !old->inIndex)) {
            return false;
        }
    }
    return true;
}

/// Writes the rows, or leaves them waiting for the batch (`waiting`); fills
/// `unreferenced` with content files the new rows left without a name.
/// `publish` runs first, once the write lock is held, and says itself why it
/// failed. On failure the reason is taken before the rollback could replace
/// SQLite's message.
bool WriteRows(CacheIndex& index, const EntryRecord& base, std::string_view body,
               const std::vector<std::u16string>& urls, std::vector<std::string>& unreferenced,
               UrlCacheFailure& failure, const std::function<bool()>& publish, bool& waiting) {
    waiting = MayWait(index, base, urls);
    if (waiting) {
        std::vector<std::string> none; // MayWait saw to that
        if (!PutRows(index, base, body, urls, none)) {
            failure = index.LastFailure();
            return false;
        }
        return true;
    }
    index.SetStaging(false);
    Transaction transaction(index.Db());
    if (!transaction.Begun()) {
        failure = index.LastFailure();
        return false;
    }
    if (!publish()) {
        return false;
    }
    std::vector<std::string> replaced;
    if (!PutRows(index, base, body, urls, replaced)) {
        failure = index.LastFailure();
        return false;
    }
    for (const std::string& file : replaced) {
        bool referenced = true;
        if (!index.IsFileReferenced(file, referenced)) {
            failure = index.LastFailure();
            return false;
        }
        if (!referenced) {
            unreferenced.push_back(file);
        }
    }
    if (!transaction.Commit()) {
        failure = index.LastFailure();
        return false;
    }
    // An older row of the same URL still waiting would replace these.
    for (const std::u16string& url : urls) {
        index.ForgetWaitingRow(CacheKeyOf(url));
    }
    return true;
}

} // namespace

std::unique_ptr<CacheWriter> CacheWriter::Begin(UrlCacheFailure& failure) {
    // Only the place is taken under the cache's lock; a temporary, when the
    // body turns out to need one, is made outside it.
    // A cache that cannot be opened leaves the writer null, `failure` says why.
    std::unique_ptr<CacheWriter> writer;
    static_cast<void>(WithUrlCacheReading(
        [&](CacheIndex&, const std::string& root) { writer = std::make_unique<CacheWriter>(root); },
        &failure));
    return writer;
}

CacheWriter::CacheWriter(std::string root) : m_root(std::move(root)) {}

bool CacheWriter::Append(const char* data, std::size_t size) {
    if (m_broken) {
        return false;
    }
    if (!m_content && m_held.size() + size <= kInlineBodyBytes) {
        m_held.append(data, size);
        m_size += size;
        return true;
    }
    if (!m_content) {
        if (std::optional<PendingContent> made = PendingContent::Create(m_root)) {
            m_content.emplace(std::move(*made));
        }
        if (!m_content) {
            m_failure = FailureFromErrno(m_root + "/tmp", errno);
            m_broken = true;
            return false;
        }
        const bool moved = m_content->Append(m_held.data(), m_held.size());
        std::string().swap(m_held);
        if (!moved) {
            m_failure = FailureFromErrno(m_content->Path(), errno);
            m_broken = true;
            return false;
        }
    }
    if (!m_content->Append(data, size)) {
        m_failure = FailureFromErrno(m_content->Path(), errno);
        m_broken = true;
        return false;
    }
    m_size += size;
    return true;
}

bool CacheWriter::Commit(const ResponseFacts& facts) {
    if (m_broken || facts.urls.empty()) {
        return false;
    }
    EntryRecord base;
    base.size = m_size;
    base.lastModified = facts.lastModified;
    base.expires = facts.expires;
    base.lastSync = base.lastAccess = NowTicks();
    base.headers = facts.headers;
    base.extension = facts.extension;
    base.inIndex = !m_content;
    // The file is moved into the content folder under the index's write
    // lock, with the rows that name it: a sweep holding that lock never takes
    // it for one whose writer died.
    const auto publish = [&] { return !m_content || CommitFile(facts, base); };
    bool stored = false;
    bool waiting = false;
    bool kept = true;
    std::vector<std::string> unreferenced;
    const auto write = [&](CacheIndex& index, const std::string& root) {
        if (root != m_root) {
            m_failure = {{},
                         Utf8ToUtf16(m_root),
                         ERROR_PATH_NOT_FOUND,
                         u"the cache folder changed during the download"};
            return false;
        }
        stored =
            WriteRows(index, base, m_held, facts.urls, unreferenced, m_failure, publish, waiting);
        // An entry that made or freed a content file was written at once, in
        // a transaction of its own (MayWait): a file must never outlive, or
        // be deleted before, the rows naming it. The batch is committed with
        // it, as it is for an entry whose writer could not hear of a later
        // failure.
        return stored && waiting && static_cast<bool>(m_lateReport);
    };
    const bool opened =
        WithUrlCacheEntry(write, facts.urls.front(), m_lateReport, kept, &m_failure);
    // An entry written in a transaction of its own is kept whatever became of
    // the batch committed after it.
    if (!opened || !stored || (waiting && !kept)) {
        if (!base.inIndex && !base.file.empty()) {
            RemoveContent(m_root, base.file);
        }
        return false;
    }
    for (const std::string& old : unreferenced) {
        RemoveContent(m_root, old);
    }
    ForgetRecentBodies(); // this process's next stream reads the new body
    return true;
}

bool CacheWriter::CommitFile(const ResponseFacts& facts, EntryRecord& base) {
    const std::optional<std::string> file = m_content->Publish(NarrowExtension(facts.extension));
    if (!file) {
        m_failure = FailureFromErrno(m_root + "/content", errno);
        return false;
    }
    base.file = *file;
    return true;
}

} // namespace urlcache

namespace urlcache {

std::u16string ExtensionFromUrl(std::u16string_view url) {
    url = url.substr(0, url.find_first_of(u"?#"));
    const auto scheme = url.find(u"://");
    if (scheme != std::u16string_view::npos) {
        url.remove_prefix(scheme + 3);
    }
    const auto slash = url.rfind(u'/');
    if (slash == std::u16string_view::npos) {
        return {};
    }
    const std::u16string_view segment = url.substr(slash + 1);
    const auto dot = segment.rfind(u'.');
    if (dot == std::u16string_view::npos) {
        return {};
    }
    const std::u16string_view extension = segment.substr(dot + 1);
    if (extension.empty() || extension.size() > 8) {
        return {};
    }
    for (const char16_t unit : extension) {
        const bool alnum = (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') ||
                           (unit >= u'0' && unit <= u'9');
        if (!alnum) {
            return {};
        }
    }
    return std::u16string(extension);
}

} // namespace urlcache
