// SPDX-License-Identifier: Apache-2.0
#include "host/common/RunReport.h"

#include "control/resources/ConfigKeys.h"
#include "host/common/ControlHost.h"
#include "host/common/ErrorText.h"
#include "host/common/ExitStatus.h"
#include "platform/profile/PrivateProfile.h"
#include "platform/text/Utf8.h"

#include <cstdio>
#include <iostream>
#include <map>
#include <ostream>
#include <utility>

namespace {

using Step = CCrawlReport::Step;
using Refusal = CCrawlReport::Refusal;

std::string Text(const CVELString& s) {
    return Printable(std::u16string_view(s.GetData(), static_cast<std::size_t>(s.GetLength())));
}

std::string Text(const char16_t* s) {
    return Printable(s);
}

std::string Key(int slot, const char16_t* suffix) {
    return Text(SlotKey(slot, suffix));
}

std::string RefusalWords(const CCrawlReport& r, int slot) {
    const std::string query = Key(slot, u".URL1.URL");
    switch (r.m_refusal) {
    case Refusal::kNoQuery:
        return "the start URL has no query; check Info.ORXPath and " + query;
    case Refusal::kNoCommand:
        return "the start query names no command (ORXCmd=); change " + query;
    case Refusal::kCommand:
        return "the command \"" + Text(r.m_refused) +
               "\" is not in Info.ORXCommands; add it there or change " + query;
    case Refusal::kNoMethod:
        return "the command InvokeMethod names no method (ORXMethod=); change " + query;
    case Refusal::kMethod:
        return "the method \"" + Text(r.m_refused) +
               "\" is not in Info.InvokeMethods; add it there or change " + query;
    case Refusal::kNone:
        break;
    }
    return "the retrieval policy refused it";
}

std::string FailureWords(const CCrawlReport& r, int slot) {
    switch (r.m_step) {
    case Step::kStartUrl:
        return "the start URL is not an http or https URL; check Info.ORXPath";
    case Step::kRefused:
        return "refused by the retrieval policy: " + RefusalWords(r, slot);
    case Step::kSend:
        return "the request failed: " + DescribeError(r.m_dwError);
    case Step::kResponse:
        return "the response could not be read: " + DescribeError(r.m_dwError);
    case Step::kBody:
        return "the page could not be read to its end: " + DescribeError(r.m_dwError);
    case Step::kStatus:
        return "the server answered with status " + std::to_string(r.m_dwStatus) +
               " instead of 200";
    case Step::kFinalUrl:
        return "the server redirected it to a URL that is not http or https";
    case Step::kNoRoom:
        return "it could not be held: " + DescribeError(r.m_dwError);
    case Step::kNone:
        break;
    }
    return "the reason is not known";
}

void ReportFailedSlot(std::ostream& out, const std::string& prefix, HostedControl& control) {
    const int slot = control.LastRun().failedSlot;
    if (slot < 0) {
        return;
    }
    const auto [name, report] = control.SlotReport(slot);
    out << prefix << "subscription \"" << Text(name) << "\" (" << Key(slot, u".Name")
        << ") failed: " << Text(report->m_startUrl) << ": " << FailureWords(*report, slot) << "\n";
}

void ReportWalksCut(std::ostream& out, const std::string& prefix, HostedControl& control) {
    // Only the slots this run reached: the others keep an earlier run's report.
    const DravikRunResult run = control.LastRun();
    if (run.outcome != RunOutcome::kComplete && run.outcome != RunOutcome::kFailed) {
        return;
    }
    const int last = run.outcome == RunOutcome::kFailed ? run.failedSlot : kSlotCount - 1;
    for (int slot = 0; slot <= last; ++slot) {
        const auto [name, report] = control.SlotReport(slot);
        const std::int32_t n = report->m_nNotWalked;
        if (n > 0) {
            out << prefix << "warning: subscription \"" << Text(name) << "\": " << n
                << (n == 1 ? " page was" : " pages were")
                << " fetched but not walked: they lie too deep for the crawl's stack\n";
        }
        const std::int32_t large = report->m_nTooLarge;
        if (large > 0) {
            std::cerr << prefix << "warning: subscription \"" << Text(name) << "\": " << large
                      << (large == 1 ? " page was" : " pages were")
                      << " fetched but not walked: larger than " << (kMaxWalkedPageBytes >> 20)
                      << " MiB (" << Text(report->m_tooLarge) << (large == 1 ? "" : ", ...")
                      << ")\n";
        }
    }
}

/// What an empty configuration left unsaid, and why nothing was crawled.
void ReportEmptyTexts(std::ostream& out, const std::string& prefix, HostedControl& control) {
    const DravikRunResult run = control.LastRun();
    std::vector<std::string> empty;
    if ((run.dwEmptyTexts & kEmptyTitle) != 0) {
        empty.emplace_back("Label.Title");
    }
    switch (run.outcome) {
    case RunOutcome::kNoUserName:
        out << prefix << "the page gives no user name (Info.UserName is empty), so nothing "
            << "was synchronized\n";
        if ((run.dwEmptyTexts & kEmptyNoUsername) != 0) {
            empty.emplace_back("Msg.NoUsername");
        }
        break;
    case RunOutcome::kComplete: {
        bool named = false;
        bool crawled = false;
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const auto [name, report] = control.SlotReport(slot);
            named = named || name[0] != 0;
            crawled = crawled || report->m_bCrawled;
        }
        if (!crawled) {
            out << prefix << "no subscription was synchronized: "
                << (named ? "none is selected (--check NAME selects one)"
                          : "the page names none (S1.Name to S6.Name, NS1.Name to NS6.Name)")
                << "\n";
        }
        if ((run.dwEmptyTexts & kEmptySynchComplete) != 0) {
            empty.emplace_back("Msg.SynchComplete");
        }
        break;
    }
    case RunOutcome::kFailed:
        if ((run.dwEmptyTexts & kEmptySynchFailed) != 0) {
            empty.emplace_back("Msg.SynchFailed");
        }
        break;
    default:
        return; // no message was shown
    }
    for (std::size_t i = 0; i < empty.size(); ++i) {
        out << (i == 0 ? prefix + "the page gives no text for " : " and ") << empty[i];
    }
    if (!empty.empty()) {
        out << ", so the message above is incomplete\n";
    }
}

void ReportSettings(std::ostream& out, const std::string& prefix, HostedControl& control) {
    const DravikSettingsReport& report = control.SettingsReport();
    for (const int slot : report.unstorable) {
        out << prefix << "warning: the choice for \"" << Text(control.SlotReport(slot).first)
            << "\" (" << Key(slot, u".Name")
            << ") is not saved: a name that starts with \";\" or \"[\" or holds a line "
               "break cannot be a key of the settings file\n";
    }
    for (const auto& [first, second] : report.shared) {
        out << prefix << "warning: " << Key(first, u".Name") << " and " << Key(second, u".Name")
            << " are both \"" << Text(control.SlotReport(first).first)
            << "\": the settings file keeps the first one's choice for both\n";
    }
    ProfileWriteFailure failure;
    if (GetLastProfileWriteFailure(failure)) {
        out << prefix << "warning: the settings file " << failure.path
            << " could not be written: " << failure.reason << " (error " << failure.error
            << "); the choices of this run are not kept\n";
    }
}

} // namespace

std::string CacheFailureText(const UrlCacheFailure& failure) {
    std::string text = Printable(failure.path);
    return text.append(text.empty() ? "" : ": ")
        .append(Printable(failure.reason))
        .append(" (error " + std::to_string(failure.error) + ")");
}

std::string Printable(std::u16string_view text) {
    std::string out;
    for (const char c : Utf16ToUtf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<std::string> RequestHeaderWarnings(std::u16string_view headers) {
    std::vector<std::string> warnings;
    while (!headers.empty()) {
        const std::size_t end = headers.find(u"\r\n");
        const std::u16string_view line = headers.substr(0, end);
        headers.remove_prefix(end == std::u16string_view::npos ? headers.size() : end + 2);
        const char* reason =
            line.find_first_of(u"\r\n") != std::u16string_view::npos
                ? "holds a line break that is not CR LF"
            : line.find(u": ") == std::u16string_view::npos ? "has no \": \" between name and value"
            : end == std::u16string_view::npos              ? "does not end with CR LF (&#13;&#10;)"
                                                            : nullptr;
        if (reason != nullptr && !line.empty()) {
            warnings.push_back("Info.HttpRequestHeaders: the line \"" + Printable(line) + "\" " +
                               reason + "; it is not sent");
        }
    }
    return warnings;
}

int ReportCacheFailures(std::ostream& out, const std::string& prefix,
                        const std::vector<UrlCacheFailure>& failures, int status) {
    // One line per place and reason: a cache folder that cannot be written
    // fails every download the same way.
    std::map<std::pair<std::u16string, std::u16string>, std::pair<const UrlCacheFailure*, int>>
        groups;
    for (const UrlCacheFailure& f : failures) {
        auto& group = groups[{f.path, f.reason}];
        group.first = group.first == nullptr ? &f : group.first;
        ++group.second;
    }
    for (const auto& [key, group] : groups) {
        const UrlCacheFailure& f = *group.first;
        out << prefix << "the URL cache could not keep " << group.second
            << (group.second == 1 ? " response" : " responses") << " (" << Printable(f.url)
            << (group.second == 1 ? "" : ", ...") << "): " << CacheFailureText(f) << "\n";
    }
    return !failures.empty() && (status == kExitOk || status == kExitFailed) ? kExitCache : status;
}

int ReportRun(std::ostream& out, const std::string& prefix, HostedControl& control,
              const std::vector<UrlCacheFailure>& cacheFailures, int status) {
    ReportFailedSlot(out, prefix, control);
    ReportEmptyTexts(out, prefix, control);
    ReportWalksCut(out, prefix, control);
    ReportSettings(out, prefix, control);
    return ReportCacheFailures(out, prefix, cacheFailures, status);
}
