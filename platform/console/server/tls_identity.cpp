/*
 * The console's TLS identity over GnuTLS: reading a given certificate and
 * key, and making a self-signed pair the first time the console serves a
 * network address without one.
 */
#include "platform/console/server/tls_identity.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <memory>

namespace hxm_server {

// Authenticated encryption only: TLS 1.3, and TLS 1.2 with ECDHE and AES-GCM
// or ChaCha20-Poly1305 (CBC with SHA-1 or SHA-2 macs invites padding
// oracles such as Lucky Thirteen).
const char kTlsPriorities[] =
    "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-CIPHER-ALL:+AES-256-GCM:+AES-128-GCM:"
    "+CHACHA20-POLY1305:-MAC-ALL:+AEAD:-KX-ALL:+ECDHE-ECDSA:+ECDHE-RSA";

namespace {

constexpr char kCertificateName[] = "hxm-console-tls.crt";
constexpr char kKeyName[] = "hxm-console-tls.key";
// The most browsers accept for a certificate's lifetime, and the time
// before its end at which a made one is made anew.
constexpr long kValidSeconds = 825L * 24 * 3600;
// A made certificate is valid from an hour ago, for clients whose clocks
// run a little behind; its whole span stays within kValidSeconds.
constexpr long kBackdateSeconds = 3600;
constexpr long kRenewSeconds = 30L * 24 * 3600;

struct CertificateFree {
    void operator()(gnutls_x509_crt_int *certificate) const { gnutls_x509_crt_deinit(certificate); }
};
struct KeyFree {
    void operator()(gnutls_x509_privkey_int *key) const { gnutls_x509_privkey_deinit(key); }
};
struct CredentialsFree {
    void operator()(gnutls_certificate_credentials_st *credentials) const {
        gnutls_certificate_free_credentials(credentials);
    }
};
using Certificate = std::unique_ptr<gnutls_x509_crt_int, CertificateFree>;
using Key = std::unique_ptr<gnutls_x509_privkey_int, KeyFree>;

bool Failed(int result, const std::string &what, std::string *error) {
    if (result >= 0)
        return false;
    *error = what + ": " + gnutls_strerror(result);
    return true;
}

bool ReadWholeFile(const std::string &path, std::string *text, std::string *error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot read " + path + ": " + strerror(errno);
        return false;
    }
    text->clear();
    char block[4096];
    ssize_t got;
    while ((got = read(fd, block, sizeof block)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0)
            text->append(block, static_cast<size_t>(got));
    }
    int readError = errno;
    close(fd);
    if (got < 0) {
        *error = "cannot read " + path + ": " + strerror(readError);
        return false;
    }
    return true;
}

// Writes `text` to a new file `path` with `mode`, all or nothing.
bool WriteNewFile(const std::string &path, const std::string &text, mode_t mode,
                  std::string *error) {
    std::string temporary = path + ".new";
    unlink(temporary.c_str());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        ok = wrote > 0;
        done += ok ? static_cast<size_t>(wrote) : 0;
    }
    ok = ok && fsync(fd) == 0;
    int writeError = errno;
    if (fd >= 0)
        close(fd);
    if (ok && rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    writeError = ok ? errno : writeError;
    unlink(temporary.c_str());
    *error = "cannot write " + path + ": " + strerror(writeError);
    return false;
}

bool MakeDirectories(const std::string &directory, std::string *error) {
    for (size_t slash = 1; slash != std::string::npos;) {
        slash = directory.find('/', slash + 1);
        std::string part = directory.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            *error = "cannot make " + part + ": " + strerror(errno);
            return false;
        }
    }
    return true;
}

gnutls_datum_t Datum(const std::string &text) {
    gnutls_datum_t datum;
    datum.data = reinterpret_cast<unsigned char *>(const_cast<char *>(text.data()));
    datum.size = static_cast<unsigned>(text.size());
    return datum;
}

bool Fingerprint(gnutls_x509_crt_t certificate, std::string *fingerprint, std::string *error) {
    unsigned char digest[32];
    size_t size = sizeof digest;
    if (Failed(gnutls_x509_crt_get_fingerprint(certificate, GNUTLS_DIG_SHA256, digest, &size),
               "certificate fingerprint", error))
        return false;
    fingerprint->clear();
    for (size_t i = 0; i < size; ++i) {
        char pair[4];
        snprintf(pair, sizeof pair, i == 0 ? "%02X" : ":%02X", digest[i]);
        fingerprint->append(pair);
    }
    return true;
}

// Checks that the PEM key belongs to the PEM chain, and fingerprints the
// chain's first certificate.
bool CheckIdentity(TlsIdentity *identity, const std::string &where, std::string *error) {
    gnutls_certificate_credentials_t raw = nullptr;
    if (Failed(gnutls_certificate_allocate_credentials(&raw), "TLS credentials", error))
        return false;
    std::unique_ptr<gnutls_certificate_credentials_st, CredentialsFree> credentials(raw);
    gnutls_datum_t certificateData = Datum(identity->certificatePem);
    gnutls_datum_t keyData = Datum(identity->keyPem);
    if (Failed(gnutls_certificate_set_x509_key_mem2(raw, &certificateData, &keyData,
                                                    GNUTLS_X509_FMT_PEM, nullptr, 0),
               where + ": the certificate and key cannot be used together", error))
        return false;
    gnutls_x509_crt_t first = nullptr;
    if (Failed(gnutls_x509_crt_init(&first), "certificate", error))
        return false;
    Certificate certificate(first);
    if (Failed(gnutls_x509_crt_import(first, &certificateData, GNUTLS_X509_FMT_PEM),
               where + ": certificate", error))
        return false;
    identity->expires = gnutls_x509_crt_get_expiration_time(first);
    return Fingerprint(first, &identity->fingerprint, error);
}

bool AddAddress(gnutls_x509_crt_t certificate, const std::string &address, std::string *error) {
    unsigned char bytes[16];
    unsigned size = 0;
    if (inet_pton(AF_INET, address.c_str(), bytes) == 1)
        size = 4;
    else if (inet_pton(AF_INET6, address.c_str(), bytes) == 1)
        size = 16;
    if (size == 0)
        return true; // not numeric: nothing to name
    return !Failed(gnutls_x509_crt_set_subject_alt_name(certificate, GNUTLS_SAN_IPADDRESS, bytes,
                                                        size, GNUTLS_FSAN_APPEND),
                   "certificate address", error);
}

bool MakeIdentity(const std::vector<std::string> &hostAddresses, TlsIdentity *identity,
                  std::string *error) {
    gnutls_x509_privkey_t rawKey = nullptr;
    gnutls_x509_crt_t rawCertificate = nullptr;
    if (Failed(gnutls_x509_privkey_init(&rawKey), "key", error))
        return false;
    Key key(rawKey);
    if (Failed(gnutls_x509_crt_init(&rawCertificate), "certificate", error))
        return false;
    Certificate certificate(rawCertificate);
    if (Failed(gnutls_x509_privkey_generate(rawKey, GNUTLS_PK_ECDSA,
                                            GNUTLS_CURVE_TO_BITS(GNUTLS_ECC_CURVE_SECP256R1), 0),
               "making a key", error))
        return false;

    char host[256] = "localhost";
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0')
        snprintf(host, sizeof host, "localhost");
    host[sizeof host - 1] = '\0';
    unsigned char serial[16];
    if (Failed(gnutls_rnd(GNUTLS_RND_NONCE, serial, sizeof serial), "serial number", error))
        return false;
    serial[0] &= 0x7f; // a positive number
    time_t now = time(nullptr);
    const unsigned char loopback4[4] = {127, 0, 0, 1};
    if (Failed(gnutls_x509_crt_set_version(rawCertificate, 3), "certificate", error) ||
        Failed(gnutls_x509_crt_set_serial(rawCertificate, serial, sizeof serial), "certificate",
               error) ||
        Failed(gnutls_x509_crt_set_activation_time(rawCertificate, now - kBackdateSeconds),
               "certificate", error) ||
        Failed(gnutls_x509_crt_set_expiration_time(rawCertificate,
                                                   now - kBackdateSeconds + kValidSeconds),
               "certificate", error) ||
        Failed(gnutls_x509_crt_set_dn_by_oid(rawCertificate, GNUTLS_OID_X520_COMMON_NAME, 0, host,
                                             static_cast<unsigned>(strlen(host))),
               "certificate name", error) ||
        Failed(gnutls_x509_crt_set_subject_alt_name(rawCertificate, GNUTLS_SAN_DNSNAME, host,
                                                    static_cast<unsigned>(strlen(host)),
                                                    GNUTLS_FSAN_APPEND),
               "certificate name", error) ||
        Failed(gnutls_x509_crt_set_subject_alt_name(rawCertificate, GNUTLS_SAN_DNSNAME, "localhost",
                                                    9, GNUTLS_FSAN_APPEND),
               "certificate name", error) ||
        Failed(gnutls_x509_crt_set_subject_alt_name(rawCertificate, GNUTLS_SAN_IPADDRESS, loopback4,
                                                    4, GNUTLS_FSAN_APPEND),
               "certificate address", error))
        return false;
    for (const std::string &address : hostAddresses) {
        if (!AddAddress(rawCertificate, address, error))
            return false;
    }
    if (Failed(gnutls_x509_crt_set_basic_constraints(rawCertificate, 0, -1), "certificate",
               error) ||
        Failed(gnutls_x509_crt_set_key_usage(rawCertificate, GNUTLS_KEY_DIGITAL_SIGNATURE),
               "certificate", error) ||
        Failed(gnutls_x509_crt_set_key_purpose_oid(rawCertificate, GNUTLS_KP_TLS_WWW_SERVER, 0),
               "certificate", error) ||
        Failed(gnutls_x509_crt_set_key(rawCertificate, rawKey), "certificate", error) ||
        Failed(gnutls_x509_crt_sign2(rawCertificate, rawCertificate, rawKey, GNUTLS_DIG_SHA256, 0),
               "signing the certificate", error))
        return false;

    gnutls_datum_t exported = {nullptr, 0};
    if (Failed(gnutls_x509_crt_export2(rawCertificate, GNUTLS_X509_FMT_PEM, &exported),
               "certificate", error))
        return false;
    identity->certificatePem.assign(reinterpret_cast<char *>(exported.data), exported.size);
    gnutls_free(exported.data);
    if (Failed(gnutls_x509_privkey_export2(rawKey, GNUTLS_X509_FMT_PEM, &exported), "key", error))
        return false;
    identity->keyPem.assign(reinterpret_cast<char *>(exported.data), exported.size);
    gnutls_memset(exported.data, 0, exported.size);
    gnutls_free(exported.data);
    return Fingerprint(rawCertificate, &identity->fingerprint, error);
}

bool Exists(const std::string &path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}

} // namespace

bool LoadTlsIdentity(const std::string &certificateFile, const std::string &keyFile,
                     TlsIdentity *identity, std::string *error) {
    TlsIdentity loaded;
    if (!ReadWholeFile(certificateFile, &loaded.certificatePem, error) ||
        !ReadWholeFile(keyFile, &loaded.keyPem, error) ||
        !CheckIdentity(&loaded, certificateFile, error))
        return false;
    *identity = std::move(loaded);
    return true;
}

bool SelfSignedTlsIdentity(const std::string &directory,
                           const std::vector<std::string> &hostAddresses, TlsIdentity *identity,
                           std::string *error) {
    std::string certificateFile = directory + "/" + kCertificateName;
    std::string keyFile = directory + "/" + kKeyName;
    bool haveCertificate = Exists(certificateFile);
    bool haveKey = Exists(keyFile);
    if (haveCertificate && haveKey) {
        if (!LoadTlsIdentity(certificateFile, keyFile, identity, error))
            return false;
        if (identity->expires - time(nullptr) > kRenewSeconds)
            return true;
        // Near its end: a new pair, whose new fingerprint the start prints.
        unlink(certificateFile.c_str());
        unlink(keyFile.c_str());
        haveCertificate = haveKey = false;
    }
    if (haveCertificate || haveKey) {
        *error = "only one of " + certificateFile + " and " + keyFile +
                 " exists; remove it to have both made again, or give --tls-cert and --tls-key";
        return false;
    }
    TlsIdentity made;
    if (!MakeDirectories(directory, error) || !MakeIdentity(hostAddresses, &made, error) ||
        !WriteNewFile(keyFile, made.keyPem, 0600, error))
        return false;
    if (!WriteNewFile(certificateFile, made.certificatePem, 0644, error)) {
        unlink(keyFile.c_str()); // a key alone would stop the next start
        return false;
    }
    made.made = true;
    made.expires = time(nullptr) - kBackdateSeconds + kValidSeconds;
    *identity = std::move(made);
    return true;
}

} // namespace hxm_server
