// SPDX-License-Identifier: Apache-2.0
// A real HTTP (or HTTPS) server on 127.0.0.1 for tests: serves canned
// replies by exact request target (path and query as sent) and records every
// request it receives, in order, so tests can assert the exact request sequence.
#pragma once

#include "support/TestServers.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct RecordedRequest {
    std::string target;
    std::string version;
    httplib::Headers headers;

    bool Has(const std::string& name) const { return headers.count(name) != 0; }
    std::string Header(const std::string& name) const {
        const auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

struct CannedReply {
    int status = 200;
    std::string contentType = "text/html"; // empty: no Content-Type header at all
    std::string body;
    std::string location;               // for redirects
    std::chrono::milliseconds delay{0}; // before answering, e.g. to watch a run in progress
    bool reset = false; // announce a body, then close the connection before sending any of it
    std::vector<std::pair<std::string, std::string>> fields{}; // more header fields
};

class TestServer {
  public:
    TestServer() { Start(); }
    /// An https server presenting `identity`.
    explicit TestServer(const testsupport::Identity& identity) : m_server(identity) { Start(); }
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int Port() const { return m_server.Port(); }
    /// "127.0.0.1:port", the host key the crawler forms for this server.
    std::string HostKey() const { return "127.0.0.1:" + std::to_string(Port()); }
    std::string Origin() const { return "http://" + HostKey(); }
    /// Distinct client connections that sent at least one request.
    std::size_t Connections() const { return m_server.Connections(); }
    int Handshakes() const { return m_server.Handshakes(); }
    int ResumedHandshakes() const { return m_server.ResumedHandshakes(); }

    /// Serves `body` for `target` (exact path and query) with status 200.
    void Page(const std::string& target, const std::string& body,
              const std::string& type = "text/html") {
        Reply(target, {200, type, body, {}});
    }
    void Reply(const std::string& target, CannedReply reply) {
        std::lock_guard lock(m_mutex);
        m_replies[target] = std::move(reply);
    }
    void Redirect(const std::string& target, const std::string& location) {
        Reply(target, {302, "text/html", "moved", location});
    }

    std::vector<RecordedRequest> Requests() const {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const RecordedRequest& r : Requests()) {
            targets.push_back(r.target);
        }
        return targets;
    }
    void ClearRequests() {
        std::lock_guard lock(m_mutex);
        m_requests.clear();
        m_nMostAtOnce = 0;
    }
    /// The most requests this server was answering at one time, delays
    /// included, since the last ClearRequests.
    int MostAtOnce() const {
        std::lock_guard lock(m_mutex);
        return m_nMostAtOnce;
    }

  private:
    void Start() {
        m_server.Routes().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            Answer(req, res);
        });
        m_server.Start();
    }

    void Answer(const httplib::Request& req, httplib::Response& res) {
        CannedReply reply;
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back({req.target, req.version, req.headers});
            const auto found = m_replies.find(req.target);
            if (found == m_replies.end()) {
                res.status = 404;
                res.set_content("not found", "text/plain");
                return;
            }
            reply = found->second;
            m_nMostAtOnce = std::max(m_nMostAtOnce, ++m_nAnswering);
        }
        std::this_thread::sleep_for(reply.delay);
        {
            std::lock_guard lock(m_mutex);
            --m_nAnswering;
        }
        res.status = reply.status;
        if (reply.reset) {
            res.set_content_provider(
                1000, "image/gif",
                [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
            return;
        }
        for (const auto& [name, value] : reply.fields) {
            res.set_header(name, value);
        }
        if (!reply.location.empty()) {
            res.set_header("Location", reply.location);
        }
        if (reply.contentType.empty()) {
            res.body = reply.body; // no Content-Type header at all
        } else {
            res.set_content(reply.body, reply.contentType.c_str());
        }
    }

    mutable std::mutex m_mutex;
    std::map<std::string, CannedReply> m_replies;
    std::vector<RecordedRequest> m_requests;
    int m_nAnswering = 0;
    int m_nMostAtOnce = 0;
    // Last, so that it stops serving before what its handler uses is gone.
    testsupport::LocalServer m_server;
};
