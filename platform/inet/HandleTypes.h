// SPDX-License-Identifier: Apache-2.0
// The three kinds of handle: a session, a connection to one server, and a
// request on that connection.
#pragma once

#include "platform/inet/HttpTransfer.h"
#include "platform/inet/InternetHandles.h"
#include "platform/inet/RequestSetup.h"
#include "platform/inet/SessionCore.h"

#include <memory>
#include <string>

namespace inet {

class SessionHandle final : public InternetHandle {
  public:
    explicit SessionHandle(std::shared_ptr<SessionCore> core)
        : InternetHandle(HandleKind::Session, HandleOptions{}), core_(std::move(core)) {}

    const std::shared_ptr<SessionCore>& Core() const { return core_; }

  private:
    std::shared_ptr<SessionCore> core_;
};

class ConnectHandle final : public InternetHandle {
  public:
    ConnectHandle(std::shared_ptr<SessionCore> core, const HandleOptions& options,
                  std::u16string host, INTERNET_PORT port)
        : InternetHandle(HandleKind::Connect, options), core_(std::move(core)),
          host_(std::move(host)), port_(port) {}

    const std::shared_ptr<SessionCore>& Core() const { return core_; }
    const std::u16string& Host() const { return host_; }
    INTERNET_PORT Port() const { return port_; }

  private:
    std::shared_ptr<SessionCore> core_;
    std::u16string host_;
    INTERNET_PORT port_;
};

class RequestHandle final : public InternetHandle {
  public:
    RequestHandle(std::shared_ptr<SessionCore> core, const HandleOptions& options,
                  RequestSetup setup)
        : InternetHandle(HandleKind::Request, options), core_(std::move(core)),
          setup_(std::move(setup)), securityFlags_(InitialSecurityFlags(setup_)) {}

    const std::shared_ptr<SessionCore>& Core() const { return core_; }
    const RequestSetup& Setup() const { return setup_; }

    DWORD SecurityFlags() const { return securityFlags_; }
    void SetSecurityFlags(DWORD flags) { securityFlags_ = flags; }

    /// The exchange of the latest send; null before the first one.
    HttpTransfer* Transfer() const { return transfer_.get(); }

    /// Drops any earlier exchange and starts a new one with `body` (empty
    /// for none). Returns 0 or the last-error value.
    DWORD Send(std::string headerBlock, std::string body);

  private:
    std::shared_ptr<SessionCore> core_;
    RequestSetup setup_;
    DWORD securityFlags_;
    std::unique_ptr<HttpTransfer> transfer_;
};

} // namespace inet
