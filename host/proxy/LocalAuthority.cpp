// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/LocalAuthority.h"

#include "host/proxy/AccessRules.h"
#include "platform/cache/ContentFiles.h"

#include <fcntl.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace proxy {

namespace {

constexpr long kDay = 86400;
constexpr long kAuthorityDays = 3650;
constexpr long kLeafDays = 30;

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

std::string CertPem(X509* cert) {
    const Bio bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(bio.get(), cert);
    return BioText(bio.get());
}

std::string KeyPem(EVP_PKEY* key) {
    const Bio bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
    return BioText(bio.get());
}

bool AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr) {
        return false;
    }
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
    return true;
}

/// A fresh certificate for `key` named `commonName`, with a random serial.
LocalAuthority::Certificate NewCertificate(EVP_PKEY* key, const std::string& commonName,
                                           long days) {
    LocalAuthority::Certificate cert(X509_new());
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F; // positive
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get()));
    BN_free(number);
    X509_set_version(cert.get(), 2);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -kDay);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), days * kDay);
    X509_set_pubkey(cert.get(), key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(cert.get()), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    return cert;
}

LocalAuthority::Certificate MakeAuthority(EVP_PKEY* key) {
    char host[256] = "local";
    ::gethostname(host, sizeof host - 1);
    LocalAuthority::Certificate cert =
        NewCertificate(key, std::string("Dravik local authority (") + host + ")", kAuthorityDays);
    X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get()));
    const bool extended =
        AddExtension(cert.get(), cert.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0") &&
        AddExtension(cert.get(), cert.get(), NID_key_usage, "critical,keyCertSign,cRLSign") &&
        AddExtension(cert.get(), cert.get(), NID_subject_key_identifier, "hash");
    if (!extended || X509_sign(cert.get(), key, EVP_sha256()) == 0) {
        return nullptr;
    }
    return cert;
}

/// Writes `text` to `path` through a temporary, with `mode`.
bool WriteFile(const std::string& path, const std::string& text, mode_t mode) {
    const std::string temp = path + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        return false;
    }
    const bool written =
        ::fchmod(fd, mode) == 0 &&
        ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
        ::fsync(fd) == 0;
    ::close(fd);
    return written && ::rename(temp.c_str(), path.c_str()) == 0;
}

std::string KeyPath(const std::string& folder) {
    return folder + "/dravik-ca.key";
}

bool Create(const std::string& folder, std::string& error) {
    LocalAuthority::Key key(EVP_EC_gen("P-256"));
    LocalAuthority::Certificate cert = key ? MakeAuthority(key.get()) : nullptr;
    if (!cert) {
        error = "cannot make the local certificate authority (OpenSSL failed)";
        return false;
    }
    // The key first: a certificate is never there without its key.
    if (!WriteFile(KeyPath(folder), KeyPem(key.get()), 0600) ||
        !WriteFile(LocalAuthority::CertificatePath(folder), CertPem(cert.get()), 0644)) {
        error = "cannot write the local certificate authority to " + folder;
        return false;
    }
    return true;
}

template <typename T, typename Read> T ReadPem(const std::string& path, Read read) {
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (file == nullptr) {
        return nullptr;
    }
    T value(read(file, nullptr, nullptr, nullptr));
    std::fclose(file);
    return value;
}

bool IsIpLiteral(const std::string& host) {
    return ParseIp(host).has_value();
}

bool IsCertificateName(const std::string& host) {
    return !host.empty() && host.size() <= 253 &&
           host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                  "0123456789-._:") == std::string::npos;
}

} // namespace

std::string LocalAuthority::DefaultFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') {
        return std::string(data) + "/dravik/ca";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.local/share/dravik/ca";
    }
    return {};
}

std::string LocalAuthority::CertificatePath(const std::string& folder) {
    return folder + "/dravik-ca.pem";
}

std::unique_ptr<LocalAuthority> LocalAuthority::Open(const std::string& folder,
                                                     std::string& error) {
    if (folder.empty() || !urlcache::MakeDirectories(folder) ||
        ::chmod(folder.c_str(), 0700) != 0) {
        error = "cannot make the folder of the local certificate authority (" +
                (folder.empty() ? std::string("set HOME or XDG_DATA_HOME") : folder) + ")";
        return nullptr;
    }
    // One process makes the authority; the others wait and load it.
    const std::string lockPath = folder + "/.lock";
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
        error = "cannot lock " + lockPath;
        if (lock >= 0) {
            ::close(lock);
        }
        return nullptr;
    }
    Key key = ReadPem<Key>(KeyPath(folder), PEM_read_PrivateKey);
    Certificate cert = ReadPem<Certificate>(CertificatePath(folder), PEM_read_X509);
    if ((!key || !cert) && Create(folder, error)) {
        key = ReadPem<Key>(KeyPath(folder), PEM_read_PrivateKey);
        cert = ReadPem<Certificate>(CertificatePath(folder), PEM_read_X509);
    }
    ::chmod(KeyPath(folder).c_str(), 0600);
    ::close(lock);
    if (!key || !cert || X509_check_private_key(cert.get(), key.get()) != 1) {
        error = error.empty() ? "the local certificate authority in " + folder +
                                    " is damaged; delete the folder to make a new one"
                              : error;
        return nullptr;
    }
    if (X509_cmp_current_time(X509_get0_notAfter(cert.get())) <= 0) {
        error = "the local certificate authority in " + folder +
                " has expired; delete the folder to make a new one";
        return nullptr;
    }
    Key leafKey(EVP_EC_gen("P-256"));
    if (!leafKey) {
        error = "cannot make a key for server certificates (OpenSSL failed)";
        return nullptr;
    }
    return std::make_unique<LocalAuthority>(std::move(cert), std::move(key), std::move(leafKey));
}

LocalAuthority::LocalAuthority(Certificate cert, Key key, Key leafKey)
    : m_cert(std::move(cert)), m_key(std::move(key)), m_leafKey(std::move(leafKey)),
      m_certPem(CertPem(m_cert.get())), m_leafKeyPem(KeyPem(m_leafKey.get())) {}

std::shared_ptr<const LocalAuthority::Leaf> LocalAuthority::LeafFor(const std::string& host) {
    if (!IsCertificateName(host)) {
        return nullptr;
    }
    const std::lock_guard lock(m_mutex);
    auto& leaf = m_leaves[host];
    if (!leaf) {
        leaf = Issue(host);
    }
    return leaf;
}

std::shared_ptr<const LocalAuthority::Leaf> LocalAuthority::Issue(const std::string& host) {
    const long caDaysLeft = [&] {
        int days = 0;
        int seconds = 0;
        ASN1_TIME_diff(&days, &seconds, nullptr, X509_get0_notAfter(m_cert.get()));
        return static_cast<long>(days);
    }();
    Certificate leaf = NewCertificate(m_leafKey.get(), host, std::min(kLeafDays, caDaysLeft));
    X509_set_issuer_name(leaf.get(), X509_get_subject_name(m_cert.get()));
    const std::string altName = (IsIpLiteral(host) ? "IP:" : "DNS:") + host;
    const bool extended =
        AddExtension(leaf.get(), m_cert.get(), NID_basic_constraints, "critical,CA:FALSE") &&
        AddExtension(leaf.get(), m_cert.get(), NID_key_usage, "critical,digitalSignature") &&
        AddExtension(leaf.get(), m_cert.get(), NID_ext_key_usage, "serverAuth") &&
        AddExtension(leaf.get(), m_cert.get(), NID_subject_alt_name, altName) &&
        AddExtension(leaf.get(), m_cert.get(), NID_authority_key_identifier, "keyid:always");
    if (!extended || X509_sign(leaf.get(), m_key.get(), EVP_sha256()) == 0) {
        return nullptr;
    }
    return std::make_shared<const Leaf>(Leaf{CertPem(leaf.get()) + m_certPem, m_leafKeyPem});
}

} // namespace proxy
