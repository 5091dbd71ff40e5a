// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/Exchange.h"

#include "platform/inet/ConnectedState.h"
#include "platform/inet/HandleTypes.h"
#include "platform/inet/HttpTransfer.h"
#include "platform/inet/InternetHandles.h"
#include "platform/inet/WireText.h"
#include "platform/kernel/LastError.h"

#include <limits>

namespace inet {

Exchange::Exchange(std::unique_ptr<RequestHandle> request) : m_request(std::move(request)) {}

void SessionCloser::operator()(HINTERNET session) const {
    InternetCloseHandle(session);
}

Exchange::~Exchange() = default;

std::unique_ptr<RequestHandle> Exchange::Prepare(HINTERNET session, ExchangeRequest& request,
                                                 DWORD& error) {
    auto* owner = FindHandleAs<SessionHandle>(session, HandleKind::Session);
    if (owner == nullptr) {
        error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (request.host.empty()) {
        error = ERROR_INTERNET_INVALID_URL;
        return nullptr;
    }
    if (IsOfflineByUser()) {
        error = ERROR_INTERNET_DISCONNECTED;
        return nullptr;
    }
    RequestSetup setup;
    setup.secure = (request.flags & INTERNET_FLAG_SECURE) != 0;
    // The host and target are wire bytes: one unit per byte keeps them so.
    setup.host = FromWireBytes(request.host);
    setup.port = request.port != INTERNET_INVALID_PORT_NUMBER
                     ? request.port
                     : (setup.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    setup.objectName = FromWireBytes(request.target.empty() ? "/" : request.target);
    setup.head = request.method == "HEAD";
    setup.verb = std::move(request.method);
    setup.http10 = false;
    setup.flags = request.flags;
    return std::make_unique<RequestHandle>(owner->Core(), owner->Options(), std::move(setup));
}

std::unique_ptr<Exchange> Exchange::Send(HINTERNET session, ExchangeRequest request, DWORD& error) {
    std::unique_ptr<RequestHandle> handle = Prepare(session, request, error);
    if (!handle) {
        return nullptr;
    }
    error = handle->Send(std::move(request.headerBlock), std::move(request.body));
    if (error != 0) {
        return nullptr;
    }
    return std::unique_ptr<Exchange>(new Exchange(std::move(handle)));
}

std::unique_ptr<Exchange> Exchange::Begin(HINTERNET session, ExchangeRequest request,
                                          std::function<void()> ready, DWORD& error) {
    std::unique_ptr<RequestHandle> handle = Prepare(session, request, error);
    if (!handle) {
        return nullptr;
    }
    error =
        handle->Begin(std::move(request.headerBlock), std::move(request.body), std::move(ready));
    if (error != 0) {
        return nullptr;
    }
    return std::unique_ptr<Exchange>(new Exchange(std::move(handle)));
}

DWORD Exchange::Arrived() {
    return m_request->Transfer()->Advance();
}

const std::string& Exchange::Head() const {
    return m_request->Transfer()->Head().Raw();
}

namespace {

DWORD Wanted(std::size_t size) {
    return static_cast<DWORD>(std::min<std::size_t>(size, std::numeric_limits<DWORD>::max()));
}

} // namespace

DWORD Exchange::Read(char* out, std::size_t size, std::size_t& read) {
    DWORD got = 0;
    const DWORD error = m_request->Transfer()->Read(out, Wanted(size), &got);
    read = got;
    return error;
}

DWORD Exchange::TryRead(char* out, std::size_t size, std::size_t& read) {
    DWORD got = 0;
    const DWORD error = m_request->Transfer()->TryRead(out, Wanted(size), &got);
    read = got;
    return error;
}

} // namespace inet
