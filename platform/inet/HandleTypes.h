// SPDX-License-Identifier: Apache-2.0
// The three kinds of handle: a session, a connection to one server, and a
// request on that connection.
#pragma once

#include "platform/inet/HttpTransfer.h"
#include "platform/inet/InternetHandles.h"
#include "platform/inet/RequestSetup.h"
#include "platform/inet/SessionCore.h"

#include <functional>
#include <memory>
#include <string>

namespace inet {

class SessionHandle final : public InternetHandle {
  public:
    explicit SessionHandle(std::shared_ptr<SessionCore> core)
        : InternetHandle(HandleKind::Session, HandleOptions{}), m_core(std::move(core)) {}

    const std::shared_ptr<SessionCore>& Core() const { return m_core; }

  private:
    std::shared_ptr<SessionCore> m_core;
};

class ConnectHandle final : public InternetHandle {
  public:
    ConnectHandle(std::shared_ptr<SessionCore> core, const HandleOptions& options,
                  std::u16string host, INTERNET_PORT port)
        : InternetHandle(HandleKind::Connect, options), m_core(std::move(core)),
          m_host(std::move(host)), m_port(port) {}

    const std::shared_ptr<SessionCore>& Core() const { return m_core; }
    const std::u16string& Host() const { return m_host; }
    INTERNET_PORT Port() const { return m_port; }

  private:
    std::shared_ptr<SessionCore> m_core;
    std::u16string m_host;
    INTERNET_PORT m_port;
};

class RequestHandle final : public InternetHandle {
  public:
    RequestHandle(std::shared_ptr<SessionCore> core, const HandleOptions& options,
                  RequestSetup setup)
        : InternetHandle(HandleKind::Request, options), m_core(std::move(core)),
          m_setup(std::move(setup)), m_securityFlags(InitialSecurityFlags(m_setup)) {}

    const std::shared_ptr<SessionCore>& Core() const { return m_core; }
    const RequestSetup& Setup() const { return m_setup; }

    DWORD SecurityFlags() const { return m_securityFlags; }
    void SetSecurityFlags(DWORD flags) { m_securityFlags = flags; }

    /// The exchange of the latest send; null before the first one.
    HttpTransfer* Transfer() const { return m_transfer.get(); }

    /// Drops any earlier exchange and starts a new one with `body` (empty
    /// for none). Returns 0 or the last-error value.
    DWORD Send(std::string headerBlock, std::string body);

    /// Send's asynchronous form (HttpTransfer::Begin): returns at once.
    DWORD Begin(std::string headerBlock, std::string body, std::function<void()> ready);

  private:
    void MakeTransfer(std::string headerBlock, std::string body);

    std::shared_ptr<SessionCore> m_core;
    RequestSetup m_setup;
    DWORD m_securityFlags;
    std::unique_ptr<HttpTransfer> m_transfer;
};

} // namespace inet
