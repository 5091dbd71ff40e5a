// SPDX-License-Identifier: Apache-2.0
// A group of transfers that share one connection cache (a libcurl multi
// handle), and the loop step that moves them on.
//
// Transfers in one pool reuse each other's kept-alive connections, whatever
// their security flags: each request is judged on the connection it is
// about to use (TlsVerification.h).
#pragma once

#include "platform/inet/CurlHandles.h"

namespace inet {

/// What a transfer in a pool is told when libcurl has finished it. The
/// easy handle's CURLOPT_PRIVATE must point at its sink.
class TransferSink {
  public:
    virtual void OnTransferDone(CURLcode result) = 0;

  protected:
    ~TransferSink() = default;
};

class TransferPool {
  public:
    TransferPool();

    bool Valid() const { return m_multi != nullptr; }
    /// True when no transfer is in the pool.
    bool Idle() const { return m_transfers == 0; }
    [[nodiscard]] bool Add(CURL* easy);
    void Remove(CURL* easy);

    /// Lets libcurl move every transfer of the pool on, without waiting, and
    /// tells the sinks of the transfers that finished.
    void Perform();

    /// Waits up to `ms` for network activity or one of libcurl's own timers.
    void Wait(int ms);

  private:
    CurlMulti m_multi;
    int m_transfers = 0;
};

} // namespace inet
