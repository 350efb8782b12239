// The TLS library (libdeveri.so): TLS sessions over a caller's socket and the gateway's server
// certificate files. Reads and writes on the socket never block past the session's time-out: the
// toolkit talks to the socket through a small I/O adapter that uses non-blocking calls, and every
// wait is a bounded poll.
#include "libs/deveri/deveri.h"

#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "libs/zozeziv/zozeziv.h"
#include "platform/clock.h"

namespace deveri {
namespace {

constexpr int kDefaultTimeoutMs = 15000;
std::atomic<int> timeoutMs{kDefaultTimeoutMs};

std::mutex transcriptMutex;
std::string lastTranscript;

void SetTranscript(const std::string& text) {
    std::lock_guard<std::mutex> lock(transcriptMutex);
    lastTranscript = text;
}

// What the I/O adapter saw on the socket, for the failure reason.
struct SocketState {
    int fd = -1;
    size_t received = 0;
    char first[40] = {};  // the first bytes the peer sent
    bool peerClosed = false;
    bool failed = false;
};

struct Session {
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    SocketState io;
    int validityError = X509_V_OK;  // an expired or not yet valid peer certificate
    int trustError = X509_V_OK;     // first failure to verify against the trusted authorities
    bool failed = false;            // a fatal error: later calls fail at once
};

// The adapter between the toolkit and the socket: non-blocking reads and writes, the caller waits.
int AdapterWrite(BIO* bio, const char* data, int length) {
    auto* io = static_cast<SocketState*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    long n = send(io->fd, data, static_cast<size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
        return static_cast<int>(n);
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        BIO_set_retry_write(bio);
    } else if (errno == EPIPE || errno == ECONNRESET) {
        io->peerClosed = true;
    } else {
        io->failed = true;
    }
    return -1;
}

int AdapterRead(BIO* bio, char* buffer, int size) {
    auto* io = static_cast<SocketState*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    long n = recv(io->fd, buffer, static_cast<size_t>(size), MSG_DONTWAIT);
    if (n > 0) {
        for (long i = 0; i < n && io->received < sizeof io->first; ++i) {
            io->first[io->received++] = buffer[i];
        }
        if (io->received >= sizeof io->first) {
            io->received += static_cast<size_t>(n);  // only the count matters from here on
        }
        return static_cast<int>(n);
    }
    if (n == 0 || errno == ECONNRESET) {  // a reset is the peer closing without reading all
        io->peerClosed = true;
        return 0;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        BIO_set_retry_read(bio);
    } else {
        io->failed = true;
    }
    return -1;
}

long AdapterCtrl(BIO*, int cmd, long, void*) {
    return cmd == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD* AdapterMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "zelmo socket");
        BIO_meth_set_write(m, AdapterWrite);
        BIO_meth_set_read(m, AdapterRead);
        BIO_meth_set_ctrl(m, AdapterCtrl);
        BIO_meth_set_create(m, [](BIO* b) {
            BIO_set_init(b, 1);
            return 1;
        });
        return m;
    }();
    return method;
}

// Runs one toolkit call until it completes, waiting on the socket as it asks, at most the time-out
// since the last progress. Returns the call's result (> 0 done, <= 0 failed), with `timedOut` set
// when the wait ran out.
template <typename Call>
int Drive(Session* s, Call call, bool* timedOut) {
    uint64_t deadline = platform::TickMs() + static_cast<uint64_t>(timeoutMs.load());
    *timedOut = false;
    for (;;) {
        ERR_clear_error();
        int r = call();
        if (r > 0) {
            return r;
        }
        int err = SSL_get_error(s->ssl, r);
        short events = err == SSL_ERROR_WANT_READ    ? POLLIN
                       : err == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                     : 0;
        if (events == 0) {
            return r;
        }
        for (;;) {
            uint64_t now = platform::TickMs();
            if (now >= deadline) {
                *timedOut = true;
                return -1;
            }
            pollfd p{s->io.fd, events, 0};
            int ready = poll(&p, 1, static_cast<int>(std::min<uint64_t>(deadline - now, 60000)));
            if (ready > 0) {
                break;
            }
            if (ready < 0 && errno != EINTR) {
                return -1;
            }
        }
    }
}

// The toolkit's text for the earliest queued error, or "" when none is queued.
std::string ToolkitError() {
    unsigned long code = ERR_peek_error();
    std::string text;
    if (code != 0) {
        const char* reason = ERR_reason_error_string(code);
        char buffer[256];
        if (reason) {
            text = reason;
        } else {
            ERR_error_string_n(code, buffer, sizeof buffer);
            text = buffer;
        }
    }
    ERR_clear_error();
    return text;
}

std::string AsnTime(const ASN1_TIME* time) {
    std::string out;
    BIO* mem = BIO_new(BIO_s_mem());
    if (mem && time && ASN1_TIME_print(mem, time)) {
        char* data = nullptr;
        long n = BIO_get_mem_data(mem, &data);
        out.assign(data, static_cast<size_t>(n));
    }
    BIO_free(mem);
    return out;
}

std::string NameText(const X509_NAME* name) {
    std::string out;
    BIO* mem = BIO_new(BIO_s_mem());
    if (mem && name && X509_NAME_print_ex(mem, name, 0, XN_FLAG_RFC2253) >= 0) {
        char* data = nullptr;
        long n = BIO_get_mem_data(mem, &data);
        out.assign(data, static_cast<size_t>(n));
    }
    BIO_free(mem);
    return out;
}

// The reason of a failed handshake, in the words the operator sees.
std::string FailureReason(Session* s, bool timedOut) {
    std::string toolkit = ToolkitError();
    if (s->validityError != X509_V_OK) {
        return std::string("the server's certificate is not valid: ") +
               X509_verify_cert_error_string(s->validityError);
    }
    if (s->io.received > 0) {
        auto b0 = static_cast<unsigned char>(s->io.first[0]);
        bool tlsRecord = b0 >= 0x14 && b0 <= 0x18 && (s->io.received < 2 || s->io.first[1] == 3);
        if (!tlsRecord) {
            // The toolkit stopped after a record header; what else the peer sent shows better
            // what it is.
            size_t have = std::min(s->io.received, sizeof s->io.first);
            long more = recv(s->io.fd, s->io.first + have, sizeof s->io.first - have, MSG_DONTWAIT);
            have += more > 0 ? static_cast<size_t>(more) : 0;
            std::string shown;
            for (size_t i = 0; i < have && s->io.first[i] != '\r' && s->io.first[i] != '\n'; ++i) {
                char c = s->io.first[i];
                shown += (c >= 0x20 && c < 0x7f) ? c : '.';
            }
            return "the server does not speak TLS on this port: it answered in plain TCP (\"" +
                   shown + "\")" + (toolkit.empty() ? "" : ", " + toolkit);
        }
    }
    if (timedOut) {
        return "no answer from the peer within " + std::to_string(timeoutMs.load() / 1000) + " s";
    }
    if (s->io.peerClosed) {
        return "peer closed the connection" + (toolkit.empty() ? "" : " (" + toolkit + ")");
    }
    if (s->io.failed) {
        return std::string("socket error: ") + std::strerror(errno);
    }
    return toolkit.empty() ? "TLS handshake failed" : toolkit;
}

int VerifyCallback(int ok, X509_STORE_CTX* store) {
    if (ok) {
        return 1;
    }
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* s = static_cast<Session*>(SSL_get_app_data(ssl));
    int err = X509_STORE_CTX_get_error(store);
    if (err == X509_V_ERR_CERT_HAS_EXPIRED || err == X509_V_ERR_CERT_NOT_YET_VALID) {
        s->validityError = err;
        return 0;
    }
    if (s->trustError == X509_V_OK) {
        s->trustError = err;
    }
    return 1;  // self-signed and privately signed servers are common among SMSCs
}

std::string SessionTranscript(Session* s, const char* role) {
    std::string t = std::string("TLS ") + role + " handshake complete\n";
    t += std::string("Protocol: ") + SSL_get_version(s->ssl) + "\n";
    t += std::string("Cipher: ") + SSL_get_cipher_name(s->ssl) + "\n";
    X509* peer = SSL_get1_peer_certificate(s->ssl);
    if (peer) {
        t += "Peer certificate subject: " + NameText(X509_get_subject_name(peer)) + "\n";
        t += "Peer certificate issuer: " + NameText(X509_get_issuer_name(peer)) + "\n";
        t += "Valid from: " + AsnTime(X509_get0_notBefore(peer)) + "\n";
        t += "Valid until: " + AsnTime(X509_get0_notAfter(peer)) + "\n";
        t += std::string("Verifies against the system's trusted authorities: ") +
             (s->trustError == X509_V_OK
                  ? "yes"
                  : std::string("no (") + X509_verify_cert_error_string(s->trustError) + ")") +
             "\n";
        X509_free(peer);
    } else {
        t += "Peer certificate: none\n";
    }
    return t;
}

void FreeSession(Session* s) {
    if (!s) {
        return;
    }
    SSL_free(s->ssl);  // frees the adapter too
    SSL_CTX_free(s->ctx);
    delete s;
}

void WriteReason(char* errorText, const std::string& reason) {
    if (errorText) {
        size_t n = std::min(reason.size(), static_cast<size_t>(DEVERI_ERROR_TEXT_SIZE - 1));
        std::memcpy(errorText, reason.data(), n);
        errorText[n] = '\0';
    }
}

std::string DataDirectory() {
    char dir[ZOZEZIV_MAX_PATH] = "";
    GetProgramDataDirectory(dir);
    return dir;
}

EVP_PKEY* ReadKey(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) {
        return nullptr;
    }
    EVP_PKEY* key = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    return key;
}

X509* ReadCert(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) {
        return nullptr;
    }
    X509* cert = PEM_read_X509(f, nullptr, nullptr, nullptr);
    if (!cert) {
        std::rewind(f);  // a CA may hand the certificate back in DER form
        cert = d2i_X509_fp(f, nullptr);
    }
    std::fclose(f);
    ERR_clear_error();
    return cert;
}

bool CertMatchesKey(X509* cert, EVP_PKEY* key) {
    return cert && key && EVP_PKEY_eq(X509_get0_pubkey(cert), key) == 1;
}

// Starts a session over the socket; the caller runs the handshake.
Session* NewSession(int socket, bool server, std::string* why) {
    if (socket < 0) {
        *why = "invalid socket";
        return nullptr;
    }
    auto* s = new Session;
    s->io.fd = socket;
    s->ctx = SSL_CTX_new(server ? TLS_server_method() : TLS_client_method());
    if (!s->ctx) {
        *why = ToolkitError();
        FreeSession(s);
        return nullptr;
    }
    if (!server) {
        SSL_CTX_set_default_verify_paths(s->ctx);
        SSL_CTX_set_verify(s->ctx, SSL_VERIFY_PEER, VerifyCallback);
    }
    return s;
}

bool Attach(Session* s, std::string* why) {
    s->ssl = SSL_new(s->ctx);
    BIO* bio = s->ssl ? BIO_new(AdapterMethod()) : nullptr;
    if (!bio) {
        *why = ToolkitError();
        return false;
    }
    BIO_set_data(bio, &s->io);
    SSL_set_bio(s->ssl, bio, bio);
    SSL_set_app_data(s->ssl, s);
    return true;
}

bool WriteFileAs(const std::string& path, const std::string& data, mode_t mode) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        return false;
    }
    fchmod(fd, mode);
    bool ok =
        write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size()) && fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

template <typename Writer>
std::string Pem(Writer writer) {
    std::string out;
    BIO* mem = BIO_new(BIO_s_mem());
    if (mem && writer(mem)) {
        char* data = nullptr;
        long n = BIO_get_mem_data(mem, &data);
        out.assign(data, static_cast<size_t>(n));
    }
    BIO_free(mem);
    return out;
}

bool AddExtension(X509* cert, X509V3_CTX* ctx, int nid, const char* value) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, ctx, nid, value);
    bool ok = ext && X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
    return ok;
}

std::string AltName(const char* host) {
    ASN1_OCTET_STRING* asIp = a2i_IPADDRESS(host);
    bool isIp = asIp != nullptr;
    ASN1_OCTET_STRING_free(asIp);
    return (isIp ? "IP:" : "DNS:") + std::string(host);
}

}  // namespace
}  // namespace deveri

using namespace deveri;

extern "C" {

int sslInitLib(void) {
    return OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                            nullptr) == 1
               ? 1
               : 0;
}

void sslTermLib(void) {
    // The toolkit releases its global state at process exit; nothing is held here.
}

void sslSetTimeout(int milliseconds) {
    timeoutMs = milliseconds > 0 ? milliseconds : kDefaultTimeoutMs;
}

int sslGetTranscript(char* buffer, int size) {
    std::lock_guard<std::mutex> lock(transcriptMutex);
    if (buffer && size > 0) {
        size_t n = std::min(lastTranscript.size(), static_cast<size_t>(size - 1));
        std::memcpy(buffer, lastTranscript.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(lastTranscript.size());
}

DeveriSession sslInitSession(int socket, char* errorText) {
    std::string why;
    Session* s = NewSession(socket, false, &why);
    if (!s || !Attach(s, &why)) {
        FreeSession(s);
        WriteReason(errorText, why);
        SetTranscript("TLS client handshake failed: " + why + "\n");
        return nullptr;
    }
    bool timedOut = false;
    if (Drive(
            s, [s] { return SSL_connect(s->ssl); }, &timedOut) <= 0) {
        why = FailureReason(s, timedOut);
        FreeSession(s);
        WriteReason(errorText, why);
        SetTranscript("TLS client handshake failed: " + why + "\n");
        return nullptr;
    }
    SetTranscript(SessionTranscript(s, "client"));
    WriteReason(errorText, "");
    return s;
}

DeveriSession sslAcceptSession(int socket, char* errorText) {
    std::string why;
    Session* s = NewSession(socket, true, &why);
    if (s) {
        std::string dir = DataDirectory();
        EVP_PKEY* key = ReadKey(dir + DEVERI_KEY_FILE);
        X509* cert = ReadCert(dir + DEVERI_SIGNED_CERT_FILE);
        if (!CertMatchesKey(cert, key)) {
            X509_free(cert);
            cert = ReadCert(dir + DEVERI_CERT_FILE);
        }
        if (!CertMatchesKey(cert, key) || SSL_CTX_use_certificate(s->ctx, cert) != 1 ||
            SSL_CTX_use_PrivateKey(s->ctx, key) != 1) {
            why = "no server certificate: generate one first";
            FreeSession(s);
            s = nullptr;
        }
        X509_free(cert);
        EVP_PKEY_free(key);
    }
    if (s && !Attach(s, &why)) {
        FreeSession(s);
        s = nullptr;
    }
    if (s) {
        bool timedOut = false;
        if (Drive(
                s, [s] { return SSL_accept(s->ssl); }, &timedOut) <= 0) {
            why = FailureReason(s, timedOut);
            FreeSession(s);
            s = nullptr;
        }
    }
    if (!s) {
        WriteReason(errorText, why);
        SetTranscript("TLS server handshake failed: " + why + "\n");
        return nullptr;
    }
    SetTranscript(SessionTranscript(s, "server"));
    WriteReason(errorText, "");
    return s;
}

int sslSend(DeveriSession session, const char* data, int length) {
    auto* s = static_cast<Session*>(session);
    if (!s || s->failed || !data || length < 0) {
        return -1;
    }
    if (length == 0) {
        return 0;
    }
    bool timedOut = false;
    int n = Drive(
        s, [&] { return SSL_write(s->ssl, data, length); }, &timedOut);
    if (n <= 0) {
        s->failed = true;
        return -1;
    }
    return n;
}

int sslRecv(DeveriSession session, char* buffer, int size) {
    auto* s = static_cast<Session*>(session);
    if (!s || s->failed || !buffer || size <= 0) {
        return -1;
    }
    bool timedOut = false;
    int n = Drive(
        s, [&] { return SSL_read(s->ssl, buffer, size); }, &timedOut);
    if (n > 0) {
        return n;
    }
    int err = SSL_get_error(s->ssl, n);
    ERR_clear_error();
    if (!timedOut && (err == SSL_ERROR_ZERO_RETURN || s->io.peerClosed)) {
        return 0;
    }
    if (!timedOut) {
        s->failed = true;
    }
    return -1;
}

int sslDataPending(DeveriSession session) {
    auto* s = static_cast<Session*>(session);
    if (!s || s->failed) {
        return 0;
    }
    int pending = SSL_pending(s->ssl);
    return pending > 0 ? pending : (SSL_has_pending(s->ssl) ? 1 : 0);
}

int sslFreeSession(DeveriSession session) {
    auto* s = static_cast<Session*>(session);
    if (s) {
        if (!s->failed && s->ssl) {
            SSL_shutdown(s->ssl);  // one attempt to send the closing alert; no wait for the peer's
        }
        ERR_clear_error();
        FreeSession(s);
    }
    return 0;
}

int sslServerCertExists(void) {
    std::string dir = DataDirectory();
    EVP_PKEY* key = ReadKey(dir + DEVERI_KEY_FILE);
    X509* cert = ReadCert(dir + DEVERI_CERT_FILE);
    int result = CertMatchesKey(cert, key) ? 1 : 0;
    X509_free(cert);
    EVP_PKEY_free(key);
    ERR_clear_error();
    return result;
}

int sslSignedCertExists(void) {
    std::string dir = DataDirectory();
    EVP_PKEY* key = ReadKey(dir + DEVERI_KEY_FILE);
    X509* cert = ReadCert(dir + DEVERI_SIGNED_CERT_FILE);
    int result = CertMatchesKey(cert, key) ? 1 : 0;
    X509_free(cert);
    EVP_PKEY_free(key);
    ERR_clear_error();
    return result;
}

int sslGenerateCertificate(const char* country, const char* state, const char* city,
                           const char* company, const char* department, const char* host,
                           const char* email, const char* challengePassword) {
    std::string dir = DataDirectory();
    if (dir.empty()) {
        return 0;
    }
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509_NAME* name = X509_NAME_new();
    X509* cert = X509_new();
    X509_REQ* req = X509_REQ_new();
    bool ok = key && name && cert && req;

    struct Field {
        const char* field;
        const char* value;
    } fields[] = {{"C", country},         {"ST", state},      {"L", city},
                  {"O", company},         {"OU", department}, {"CN", host},
                  {"emailAddress", email}};
    for (const Field& f : fields) {
        if (!ok || !f.value || !*f.value) {
            continue;
        }
        if (std::strcmp(f.field, "C") == 0 && std::strlen(f.value) != 2) {
            continue;  // the toolkit accepts only two-letter countries
        }
        ok = X509_NAME_add_entry_by_txt(name, f.field, MBSTRING_UTF8,
                                        reinterpret_cast<const unsigned char*>(f.value), -1, -1,
                                        0) == 1;
    }

    // The self-signed server certificate.
    if (ok) {
        uint64_t serial = 0;
        RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial);
        ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert), serial >> 1);
        ok = X509_set_version(cert, X509_VERSION_3) && X509_set_subject_name(cert, name) &&
             X509_set_issuer_name(cert, name) && X509_set_pubkey(cert, key) &&
             X509_gmtime_adj(X509_getm_notBefore(cert), 0) &&
             X509_gmtime_adj(X509_getm_notAfter(cert), 3650L * 24 * 3600);
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
        ok = ok && AddExtension(cert, &ctx, NID_basic_constraints, "critical,CA:FALSE") &&
             AddExtension(cert, &ctx, NID_key_usage, "critical,digitalSignature,keyEncipherment") &&
             AddExtension(cert, &ctx, NID_ext_key_usage, "serverAuth") &&
             AddExtension(cert, &ctx, NID_subject_key_identifier, "hash");
        if (ok && host && *host) {
            ok = AddExtension(cert, &ctx, NID_subject_alt_name, AltName(host).c_str());
        }
        ok = ok && X509_sign(cert, key, EVP_sha256()) > 0;
    }

    // The sign request for a certificate authority, with the challenge password.
    if (ok) {
        ok = X509_REQ_set_version(req, X509_REQ_VERSION_1) &&
             X509_REQ_set_subject_name(req, name) && X509_REQ_set_pubkey(req, key);
        if (ok && challengePassword && *challengePassword) {
            ok = X509_REQ_add1_attr_by_NID(
                     req, NID_pkcs9_challengePassword, MBSTRING_UTF8,
                     reinterpret_cast<const unsigned char*>(challengePassword), -1) == 1;
        }
        if (ok && host && *host) {
            STACK_OF(X509_EXTENSION)* exts = sk_X509_EXTENSION_new_null();
            X509_EXTENSION* san =
                X509V3_EXT_conf_nid(nullptr, nullptr, NID_subject_alt_name, AltName(host).c_str());
            ok = exts && san && sk_X509_EXTENSION_push(exts, san) &&
                 X509_REQ_add_extensions(req, exts);
            if (!ok) {
                X509_EXTENSION_free(san);
            }
            sk_X509_EXTENSION_pop_free(exts, X509_EXTENSION_free);
        }
        ok = ok && X509_REQ_sign(req, key, EVP_sha256()) > 0;
    }

    std::string keyPem, certPem, reqPem;
    if (ok) {
        keyPem = Pem([&](BIO* b) {
            return PEM_write_bio_PrivateKey(b, key, nullptr, nullptr, 0, nullptr, nullptr);
        });
        certPem = Pem([&](BIO* b) { return PEM_write_bio_X509(b, cert); });
        reqPem = Pem([&](BIO* b) { return PEM_write_bio_X509_REQ(b, req); });
        ok = !keyPem.empty() && !certPem.empty() && !reqPem.empty();
    }
    // Written beside the old files first, then renamed over them, so that a failure leaves the
    // previous key and certificate in place.
    std::string suffix = ".new";
    const std::pair<const char*, const std::string*> files[] = {
        {DEVERI_KEY_FILE, &keyPem}, {DEVERI_CERT_FILE, &certPem}, {DEVERI_CSR_FILE, &reqPem}};
    for (const auto& [file, data] : files) {
        ok = ok && WriteFileAs(dir + file + suffix, *data,
                               std::strcmp(file, DEVERI_KEY_FILE) == 0 ? 0600 : 0644);
    }
    for (const auto& [file, data] : files) {
        if (ok) {
            ok = std::rename((dir + file + suffix).c_str(), (dir + file).c_str()) == 0;
        } else {
            std::remove((dir + file + suffix).c_str());
        }
    }
    for (const auto& [file, data] : files) {
        std::remove((dir + file + suffix).c_str());  // leftovers of a rename that failed
    }
    X509_REQ_free(req);
    X509_free(cert);
    X509_NAME_free(name);
    EVP_PKEY_free(key);
    ERR_clear_error();
    return ok ? 1 : 0;
}

}  // extern "C"
