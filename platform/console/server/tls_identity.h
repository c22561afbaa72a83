/*
 * The console's TLS identity: a certificate chain and its private key, in
 * PEM, either read from the files the administrator names or made once,
 * self-signed, under the server's root.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_TLS_IDENTITY_H
#define HXM_PLATFORM_CONSOLE_SERVER_TLS_IDENTITY_H

#include <time.h>

#include <string>
#include <vector>

namespace hxm_server {

struct TlsIdentity {
    std::string certificatePem;
    std::string keyPem;
    std::string fingerprint; // SHA-256 of the first certificate, "AB:CD:..."
    bool made = false;       // made by this start rather than read
    time_t expires = 0;      // the first certificate's end of validity
};

// Reads `certificateFile` and `keyFile` and checks that the key belongs to
// the certificate. False, with *error set, when either cannot be read or
// they do not fit.
bool LoadTlsIdentity(const std::string &certificateFile, const std::string &keyFile,
                     TlsIdentity *identity, std::string *error);

// The self-signed identity kept in `directory` as hxm-console-tls.crt and
// hxm-console-tls.key: read when both are there and the certificate has
// more than 30 days left, else made (an ECDSA P-256 key, mode 0600, and a
// certificate valid for 825 days for the host's name, `hostAddresses` and
// loopback) and written. A directory holding only one of the two is
// refused rather than overwritten.
bool SelfSignedTlsIdentity(const std::string &directory,
                           const std::vector<std::string> &hostAddresses, TlsIdentity *identity,
                           std::string *error);

// The protocol versions and ciphers offered: TLS 1.3, and TLS 1.2 with
// ECDHE and an AEAD cipher only.
extern const char kTlsPriorities[];

} // namespace hxm_server

#endif
