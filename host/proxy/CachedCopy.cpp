// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/CachedCopy.h"

#include "host/proxy/WireBytes.h"

#include "platform/cache/UrlCacheStreams.h"
#include "platform/inet/HttpCacheRules.h"
#include "platform/kernel/FileTime.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <vector>

namespace proxy {

namespace {

// Large enough for nearly every entry, so a look-up is one call.
constexpr DWORD kFirstEntryBuffer = 8192;

std::uint64_t SizeOf(const INTERNET_CACHE_ENTRY_INFOW& entry) {
    return (std::uint64_t{entry.dwSizeHigh} << 32) | entry.dwSizeLow;
}

std::string HeaderText(const INTERNET_CACHE_ENTRY_INFOW& entry) {
    if (entry.lpHeaderInfo == nullptr) {
        return {};
    }
    return Narrow(std::u16string_view(entry.lpHeaderInfo, entry.dwHeaderInfoSize));
}

ListedEntry Listed(const INTERNET_CACHE_ENTRY_INFOW& entry) {
    ListedEntry out;
    out.url = Utf16ToUtf8(entry.lpszSourceUrlName);
    out.size = SizeOf(entry);
    const std::optional<ResponseHead> head = ParseResponseHead(HeaderText(entry));
    if (head) {
        out.contentType = FindField(head->fields, "Content-Type").value_or("");
    }
    out.lastSync = FileTimeToTicks(entry.LastSyncTime);
    out.hits = entry.dwHitRate;
    return out;
}

/// Room for an entry, left uninitialized (the cache fills it), growing to
/// the size a two-call function asks for.
class EntryBuffer {
  public:
    INTERNET_CACHE_ENTRY_INFOW* Entry() {
        return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(data_.get());
    }

    /// Runs `call(entry, &size)` until the buffer is large enough.
    template <typename Call> bool Fill(Call&& call) {
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD size = size_;
            if (call(Entry(), &size)) {
                return true;
            }
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
                return false;
            }
            data_.reset(new char[size]);
            size_ = size;
        }
        return false;
    }

  private:
    std::unique_ptr<char[]> data_{new char[kFirstEntryBuffer]};
    DWORD size_ = kFirstEntryBuffer;
};

} // namespace

std::unique_ptr<CachedCopy> CachedCopy::Open(const std::string& url) {
    const std::u16string wide = Utf8ToUtf16(url);
    EntryBuffer buffer;
    HANDLE stream = nullptr;
    const bool opened = buffer.Fill([&](INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* size) {
        stream = RetrieveUrlCacheEntryStreamW(wide.c_str(), entry, size, FALSE, 0);
        return stream != nullptr;
    });
    if (!opened) {
        return nullptr;
    }
    const INTERNET_CACHE_ENTRY_INFOW& entry = *buffer.Entry();
    std::unique_ptr<CachedCopy> copy(new CachedCopy());
    copy->stream_ = stream;
    copy->size_ = SizeOf(entry);
    const std::string headers = HeaderText(entry);
    copy->fields_ = ReplayedFields(headers);
    const std::optional<ResponseHead> head = ParseResponseHead(headers);
    const std::optional<std::string_view> mark =
        head ? FindField(head->fields, inet::kCertificateField) : std::nullopt;
    copy->unverified_ = mark && NameEquals(*mark, inet::kUnverifiedValue);
    const std::optional<std::string_view> reuse =
        head ? FindField(head->fields, inet::kCacheField) : std::nullopt;
    copy->thisMachineOnly_ = reuse && NameEquals(*reuse, inet::kThisMachineValue);
    return copy;
}

CachedCopy::~CachedCopy() {
    UnlockUrlCacheEntryStream(stream_, 0);
}

bool CachedCopy::Read(char* out, std::size_t capacity, std::size_t& got) {
    auto length = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 30));
    if (!ReadUrlCacheEntryStreamEx(stream_, offset_, out, &length)) {
        got = 0;
        return false;
    }
    got = length;
    offset_ += length;
    return true;
}

bool ListEntries(std::vector<ListedEntry>& entries) {
    entries.clear();
    EntryBuffer buffer;
    HANDLE find = nullptr;
    bool more = buffer.Fill([&](INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* size) {
        find = FindFirstUrlCacheEntryW(nullptr, entry, size);
        return find != nullptr;
    });
    if (!more) {
        return GetLastError() == ERROR_NO_MORE_ITEMS;
    }
    while (more) {
        entries.push_back(Listed(*buffer.Entry()));
        more = buffer.Fill([&](INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* size) {
            return FindNextUrlCacheEntryW(find, entry, size) != FALSE;
        });
    }
    const bool complete = GetLastError() == ERROR_NO_MORE_ITEMS;
    FindCloseUrlCache(find);
    return complete;
}

} // namespace proxy
