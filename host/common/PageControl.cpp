// SPDX-License-Identifier: Apache-2.0
#include "host/common/PageControl.h"

#include "host/common/ErrorText.h"
#include "host/common/ExitStatus.h"
#include "host/common/HostPage.h"
#include "host/common/RunReport.h"
#include "net/InternetSession.h"
#include "platform/kernel/LastError.h"

#include <iostream>

int WithInternetSession(const std::string& prefix, const std::function<int()>& body) {
    if (!OpenInternetSession()) {
        const DWORD error = GetLastError();
        CloseInternetSession();
        std::cerr << prefix << "cannot open the internet session: " << DescribeError(error) << "\n";
        return kExitTransport;
    }
    // Closed however the body ends.
    struct Closer {
        ~Closer() { CloseInternetSession(); }
    } closer;
    return body();
}

std::unique_ptr<HostedControl> OpenPageControl(const std::string& page, const std::string& prefix,
                                               int& status) {
    const HostPageResult read = ReadHostPage(page);
    if (!read.ok) {
        std::cerr << prefix << read.error << "\n";
        status = kExitUsage;
        return nullptr;
    }
    if (const auto headers = read.params.find(u"Info.HttpRequestHeaders");
        headers != read.params.end()) {
        for (const std::string& warning : RequestHeaderWarnings(headers->second)) {
            std::cerr << prefix << "warning: " << warning << "\n";
        }
    }
    HostedControl::Failure failure;
    std::unique_ptr<HostedControl> control =
        HostedControl::Create(read.classId, read.params, failure);
    if (!control) {
        std::cerr << prefix << "host page " << page << ": " << failure.message << "\n";
        status = failure.status;
        return nullptr;
    }
    if (control->EngineAddress().empty()) {
        std::cerr << prefix
                  << "the page gives no engine address: set Info.ORXPath to the "
                     "application engine's URL\n";
        status = kExitUsage;
        return nullptr;
    }
    status = kExitOk;
    return control;
}

int ExitStatusOf(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::kComplete:
        return kExitOk;
    case RunOutcome::kFailed:
        return kExitFailed;
    case RunOutcome::kOffline:
        return kExitOffline;
    case RunOutcome::kNoUserName:
    case RunOutcome::kNone:
        break;
    }
    return kExitUsage;
}
