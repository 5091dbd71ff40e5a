// SPDX-License-Identifier: Apache-2.0
// The local certificate authority that lets the proxy answer https
// requests from the cache (--intercept).
//
// Made on first use under $XDG_DATA_HOME/dravik/ca/ (by default
// ~/.local/share/dravik/ca/): "dravik-ca.pem", the certificate a user
// imports into the browser, and "dravik-ca.key", its private key (mode
// 0600, in a folder of mode 0700, never copied anywhere). Server
// certificates for the hosts a browser asks for are issued on the fly,
// held in memory only and signed by it.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace proxy {

class LocalAuthority {
  public:
    /// $XDG_DATA_HOME/dravik/ca, or ~/.local/share/dravik/ca; empty when
    /// neither variable gives an absolute path.
    static std::string DefaultFolder();
    static std::string CertificatePath(const std::string& folder);

    /// The authority in `folder`, made first when the folder holds none.
    /// Null with `error` saying what to change.
    static std::unique_ptr<LocalAuthority> Open(const std::string& folder, std::string& error);

    /// A server certificate for `host` (a name or an IP literal): the PEM
    /// of the certificate followed by the authority's, and the PEM of its
    /// key. Made once per host, then taken from memory. Null for a host
    /// that cannot be named in a certificate.
    struct Leaf {
        std::string chainPem;
        std::string keyPem;
    };
    std::shared_ptr<const Leaf> LeafFor(const std::string& host);

    struct X509Free {
        void operator()(X509* cert) const { X509_free(cert); }
    };
    struct KeyFree {
        void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    };
    using Certificate = std::unique_ptr<X509, X509Free>;
    using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

    LocalAuthority(Certificate cert, Key key, Key leafKey);

  private:
    std::shared_ptr<const Leaf> Issue(const std::string& host);

    Certificate m_cert;
    Key m_key;
    Key m_leafKey; // one key for every leaf of this process
    std::string m_certPem;
    std::string m_leafKeyPem;
    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<const Leaf>> m_leaves;
};

} // namespace proxy
