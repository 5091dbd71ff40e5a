// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/CachePages.h"

#include "host/proxy/BrowserSetup.h"
#include "host/proxy/CopyView.h"
#include "host/proxy/PageText.h"
#include "platform/text/Utf8.h"

#include <map>

namespace proxy {

namespace {

constexpr const char* kStyle =
    "<style>body{font:14px sans-serif;margin:2em}table{border-collapse:collapse}"
    "td,th{padding:2px 10px;text-align:left;border-bottom:1px solid #ddd}"
    "td.n{text-align:right}</style>";

/// "scheme://authority" of a URL: the heading entries are grouped under.
std::string OriginOf(const std::string& url) {
    const auto scheme = url.find("://");
    if (scheme == std::string::npos) {
        return url;
    }
    const auto path = url.find_first_of("/?#", scheme + 3);
    return url.substr(0, path);
}

std::string Document(const std::string& title, const std::string& content) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
           "</title>" + kStyle + "</head><body>\n" + content + "</body></html>\n";
}

std::string CopyLink(const std::string& url, const std::string& key) {
    return CopyViewPath(key, url);
}

std::string EntryJson(const ListedEntry& e, const std::string& key) {
    return "{\"url\": " + JsonString(e.url) + ", \"size\": " + std::to_string(e.size) +
           ", \"contentType\": " + JsonString(e.contentType) +
           ", \"lastSync\": " + JsonString(IsoTime(e.lastSync)) +
           ", \"uses\": " + std::to_string(e.hits) +
           ", \"copy\": " + JsonString(CopyLink(e.url, key)) + "}";
}

std::string EntryRow(const ListedEntry& e, const std::string& key) {
    return "<tr><td><a href=\"" + HtmlEscape(e.url) + "\">" + HtmlEscape(e.url) +
           "</a></td><td class=n>" + std::to_string(e.size) + "</td><td>" +
           HtmlEscape(e.contentType) + "</td><td>" + HtmlEscape(IsoTime(e.lastSync)) +
           "</td><td class=n>" + std::to_string(e.hits) + "</td><td><a href=\"" +
           HtmlEscape(CopyLink(e.url, key)) + "\">cached copy</a></td></tr>\n";
}

} // namespace

OwnPage ParseOwnPage(std::string_view target) {
    const auto mark = target.find('?');
    const std::string_view path = target.substr(0, mark);
    const std::string_view query =
        mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
    OwnPage page;
    page.json = QueryValue(query, "format") == "json";
    if (path == "/") {
        page.kind = OwnPage::Kind::Index;
    } else if (path == "/proxy.pac") {
        page.kind = OwnPage::Kind::Pac;
    } else if (path == "/missed") {
        page.kind = OwnPage::Kind::Missed;
    } else if (path == "/copy") {
        const std::optional<std::string_view> raw = QueryValue(query, "url");
        const std::optional<std::string> url = raw ? PercentDecode(*raw) : std::nullopt;
        page.kind = url && !url->empty() ? OwnPage::Kind::Copy : OwnPage::Kind::BadQuery;
        page.url = url.value_or("");
        page.key = QueryValue(query, "key").value_or("");
    }
    return page;
}

PageBody IndexPage(const std::vector<ListedEntry>& entries, bool json,
                   const OwnPageContext& context) {
    std::map<std::string, std::vector<const ListedEntry*>> byOrigin;
    std::uint64_t total = 0;
    for (const ListedEntry& e : entries) {
        byOrigin[OriginOf(e.url)].push_back(&e);
        total += e.size;
    }
    std::string out;
    if (json) {
        out = "{\"entries\": " + std::to_string(entries.size()) +
              ", \"bytes\": " + std::to_string(total) + ", \"hosts\": [";
        const char* hostSeparator = "\n  ";
        for (const auto& [origin, list] : byOrigin) {
            out += hostSeparator + ("{\"host\": " + JsonString(origin) + ", \"entries\": [");
            hostSeparator = ",\n  ";
            const char* separator = "\n    ";
            for (const ListedEntry* e : list) {
                out += separator + EntryJson(*e, context.copyKey);
                separator = ",\n    ";
            }
            out += "]}";
        }
        return {"application/json", out + "\n]}\n"};
    }
    out = "<h1>Dravik cache</h1>\n<p>" + std::to_string(entries.size()) + " entries, " +
          std::to_string(total) + " bytes, " + std::to_string(byOrigin.size()) +
          " hosts. <a href=\"/missed\">Missed while offline</a> &middot; "
          "<a href=\"/?format=json\">JSON</a></p>\n<ul>\n";
    int anchor = 0;
    for (const auto& [origin, list] : byOrigin) {
        out += "<li><a href=\"#h" + std::to_string(anchor++) + "\">" + HtmlEscape(origin) +
               "</a> (" + std::to_string(list.size()) + ")</li>\n";
    }
    out += "</ul>\n" + BrowserSteps("http://" + context.authority);
    anchor = 0;
    for (const auto& [origin, list] : byOrigin) {
        out += "<h2 id=\"h" + std::to_string(anchor++) + "\">" + HtmlEscape(origin) +
               "</h2>\n<table><tr><th>URL</th><th>Bytes</th><th>Type</th><th>Last "
               "synchronized (UTC)</th><th>Uses</th><th></th></tr>\n";
        for (const ListedEntry* e : list) {
            out += EntryRow(*e, context.copyKey);
        }
        out += "</table>\n";
    }
    return {"text/html; charset=utf-8", Document("Dravik cache", out)};
}

PageBody MissedPage(const std::vector<urlcache::MissedUrl>& missed, bool json) {
    std::string out;
    if (json) {
        out = "{\"missed\": [";
        const char* separator = "\n  ";
        for (const urlcache::MissedUrl& m : missed) {
            out += separator + ("{\"url\": " + JsonString(Utf16ToUtf8(m.url)) +
                                ", \"count\": " + std::to_string(m.count) +
                                ", \"firstMissed\": " + JsonString(IsoTime(m.firstMissed)) +
                                ", \"lastMissed\": " + JsonString(IsoTime(m.lastMissed)) + "}");
            separator = ",\n  ";
        }
        return {"application/json", out + "\n]}\n"};
    }
    out = "<h1>Missed while offline</h1>\n<p>" + std::to_string(missed.size()) +
          " addresses were asked for but not kept. Run <code>dravik fetch --missed</code> when "
          "online to fetch them. <a href=\"/\">Cache index</a> &middot; "
          "<a href=\"/missed?format=json\">JSON</a></p>\n"
          "<table><tr><th>URL</th><th>Times</th><th>Last missed (UTC)</th></tr>\n";
    for (const urlcache::MissedUrl& m : missed) {
        const std::string url = Utf16ToUtf8(m.url);
        out += "<tr><td>" + HtmlEscape(url) + "</td><td class=n>" + std::to_string(m.count) +
               "</td><td>" + HtmlEscape(IsoTime(m.lastMissed)) + "</td></tr>\n";
    }
    return {"text/html; charset=utf-8", Document("Missed while offline", out + "</table>\n")};
}

OwnPageAnswer AnswerOwnPage(std::string_view target, const OwnPageContext& context) {
    const OwnPage page = ParseOwnPage(target);
    OwnPageAnswer answer;
    switch (page.kind) {
    case OwnPage::Kind::Index: {
        const urlcache::CacheResult<std::vector<urlcache::StoredEntry>> stored =
            urlcache::ListEntries();
        if (!stored) {
            return {500, {}, "The URL cache could not be read.", {}};
        }
        std::vector<ListedEntry> entries;
        entries.reserve(stored->size());
        for (const urlcache::StoredEntry& entry : *stored) {
            entries.push_back(ListedFrom(entry));
        }
        answer.page = IndexPage(entries, page.json, context);
        return answer;
    }
    case OwnPage::Kind::Missed: {
        std::vector<urlcache::MissedUrl> missed;
        if (!urlcache::ListMissedUrls(missed)) {
            return {500, {}, "The list of missed addresses could not be read.", {}};
        }
        answer.page = MissedPage(missed, page.json);
        return answer;
    }
    case OwnPage::Kind::Pac:
        answer.page = {"application/x-ns-proxy-autoconfig", PacScript(context.authority)};
        return answer;
    case OwnPage::Kind::Copy:
        if (!CopyViewTokenMatches(page.key, context.copyKey, page.url)) {
            return {403,
                    {},
                    "Open cached copies from the proxy's index: their addresses carry a key that "
                    "changes each time the proxy starts, so that other web pages cannot load them.",
                    {}};
        }
        answer.copyUrl = page.url;
        return answer;
    case OwnPage::Kind::BadQuery:
        return {400, {}, "Give the address as /copy?url=URL, percent-encoded.", {}};
    case OwnPage::Kind::NotFound:
        break;
    }
    return {404, {}, "The proxy has the pages /, /missed, /copy?url=URL and /proxy.pac.", {}};
}

std::string NotKeptPage(const std::string& url, const std::string& proxyOrigin) {
    return Document("Not kept for offline use",
                    "<h1>Not kept for offline use</h1>\n<p>" + HtmlEscape(url) +
                        " was not kept by a synchronization, and the internet library is "
                        "offline. The address has been noted: <code>dravik fetch --missed</code> "
                        "fetches it the next time you are online.</p>\n"
                        "<p><a href=\"" +
                        HtmlEscape(proxyOrigin) + "/missed\">Missed while offline</a></p>\n");
}

std::string ErrorPage(unsigned status, std::string_view reason, std::string_view message) {
    const std::string title = std::to_string(status) + " " + std::string(reason);
    return Document(title, "<h1>" + HtmlEscape(title) + "</h1>\n<p>" +
                               HtmlEscape(std::string(message)) + "</p>\n");
}

} // namespace proxy
