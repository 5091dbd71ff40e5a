// SPDX-License-Identifier: Apache-2.0
// A site served over https by Debian's nginx, with a configuration of its
// own: TLS 1.2 and 1.3, HTTP/2 offered, and a certificate issued by an
// authority made for the run, which no machine trusts, as a company's own
// authority is to a client that was not told of it. The engine's start
// page is served over plain http on a second port. Asked for by the name
// "localhost", the https site sets a cookie with every answer; /r/PATH
// redirects to /PATH, and what is under /slow/ is sent at 256 KiB/s. Tests
// and benchmarks share it.
#pragma once

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class TlsSite {
  public:
    /// Writes the site's `files` and the engine's `startPage` under `dir`
    /// and starts nginx on `tlsPort` (https) and `enginePort` (http).
    TlsSite(const std::filesystem::path& dir, const std::map<std::string, std::string>& files,
            const std::string& startPage, int tlsPort, int enginePort)
        : m_dir(dir) {
        if (std::system("command -v nginx >/dev/null && command -v openssl >/dev/null") != 0) {
            throw std::runtime_error("the https site needs nginx and openssl: scripts/setup");
        }
        for (const auto& [path, body] : files) {
            const std::filesystem::path file = dir / ("www" + path);
            std::filesystem::create_directories(file.parent_path());
            std::ofstream(file) << body;
        }
        std::filesystem::create_directories(dir / "engine");
        std::ofstream(dir / "engine" / "orx") << startPage;
        MakeCertificate();
        WriteConfig(tlsPort, enginePort);
        Shell("nginx -e '" + (dir / "error.log").string() + "' -c '" +
                  (dir / "nginx.conf").string() + "'",
              "nginx did not start");
    }
    ~TlsSite() {
        std::ifstream pidFile(m_dir / "nginx.pid");
        pid_t pid = 0;
        if (pidFile >> pid && pid > 0) {
            ::kill(pid, SIGQUIT);
            for (int waited = 0; waited < 200 && ::kill(pid, 0) == 0; ++waited) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
    }
    TlsSite(const TlsSite&) = delete;
    TlsSite& operator=(const TlsSite&) = delete;

    /// Requests nginx has logged so far, on both ports.
    int Requests() const { return static_cast<int>(Log().size()); }

    /// One line per request logged so far, on both ports, as
    /// "CONNECTION PROTOCOL REUSED HOST URI COOKIE": nginx's connection
    /// serial number, "HTTP/1.0", "HTTP/1.1" or "HTTP/2.0", "r" when the
    /// request came on a resumed TLS session ("." on a full handshake, "-"
    /// without TLS), the host name asked for, the request target and the
    /// Cookie field ("-" for none).
    std::vector<std::string> Log() const {
        std::ifstream log(m_dir / "access.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) {
            lines.push_back(line);
        }
        return lines;
    }

  private:
    static void Shell(const std::string& command, const char* failure) {
        if (std::system(("(" + command + ") >/dev/null 2>&1").c_str()) != 0) {
            throw std::runtime_error(failure);
        }
    }

    /// An authority of the run's own and a certificate for 127.0.0.1 it issues.
    void MakeCertificate() {
        const std::string d = "'" + m_dir.string() + "'/";
        Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Bench authority' "
              "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign -keyout " +
                  d + "ca.key -out " + d + "ca.crt",
              "openssl could not make the authority");
        std::ofstream(m_dir / "ext") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                                        "extendedKeyUsage=serverAuth\n";
        Shell("openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout " + d +
                  "server.key -out " + d + "server.csr && openssl x509 -req -days 1 -in " + d +
                  "server.csr -CA " + d + "ca.crt -CAkey " + d + "ca.key -CAcreateserial -out " +
                  d + "server.crt -extfile " + d + "ext",
              "openssl could not make the server's certificate");
    }

    void WriteConfig(int tlsPort, int enginePort) const {
        const std::string d = m_dir.string();
        std::ofstream(m_dir / "nginx.conf")
            << "worker_processes 1;\npid " << d << "/nginx.pid;\nerror_log " << d
            << "/error.log;\nevents { worker_connections 1024; }\nhttp {\n"
            << "  log_format probe '$connection $server_protocol $ssl_session_reused $host "
               "$request_uri $http_cookie';\n  access_log "
            << d << "/access.log probe;\n  default_type text/html;\n"
            << "  types { text/html html; image/gif gif; text/css css; "
               "application/javascript js; }\n"
            << "  keepalive_requests 100000;\n  client_body_temp_path " << d << "/tmp;\n"
            << "  map $host $set_last { localhost \"last=$uri; Path=/\"; default \"\"; }\n"
            << "  server {\n    listen 127.0.0.1:" << tlsPort << " ssl http2;\n"
            << "    ssl_certificate " << d << "/server.crt;\n    ssl_certificate_key " << d
            << "/server.key;\n    ssl_protocols TLSv1.2 TLSv1.3;\n    root " << d << "/www;\n"
            << "    add_header Set-Cookie $set_last;\n"
            << "    location /r/ { rewrite ^/r/(.*)$ /$1 redirect; }\n"
            << "    location /slow/ { limit_rate 256k; }\n  }\n"
            << "  server {\n    listen 127.0.0.1:" << enginePort << ";\n    root " << d
            << "/engine;\n    location /orx { try_files /orx =404; }\n  }\n}\n";
    }

    std::filesystem::path m_dir;
};

} // namespace testsupport
