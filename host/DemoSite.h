// SPDX-License-Identifier: Apache-2.0
// The built-in demo: a small application engine and a content host on
// loopback, and the host page that configures the control for them.
#pragma once

#include <httplib.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DemoSite {
  public:
    /// Starts both servers on free ports of 127.0.0.1.
    DemoSite();
    ~DemoSite();
    DemoSite(const DemoSite&) = delete;
    DemoSite& operator=(const DemoSite&) = delete;

    std::string EngineOrigin() const;
    std::string ContentOrigin() const;
    /// The host page: an <object> for the control with every parameter.
    std::string HostPage() const;
    /// "engine GET /path?query" and "content GET /path" lines, in order.
    std::vector<std::string> Requests() const;

  private:
    struct Server {
        httplib::Server http;
        int port = 0;
        std::thread thread;
    };

    void Start(Server& server, const std::string& name);
    void AddEngineRoutes();
    void AddContentRoutes();

    Server m_engine;
    Server m_content;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
};
