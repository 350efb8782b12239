/* The TLS library of the product family (libdeveri.so), built on OpenSSL 3: client and server TLS
 * sessions over a caller's connected TCP socket, and the gateway's server key, certificate and
 * certificate sign request in the program data directory. All entry points are plain C.
 *
 * Types: a socket is a connected TCP socket descriptor (int). A session handle is an opaque
 * pointer (DeveriSession, null for none) that only this library interprets; it stays valid until
 * sslFreeSession, which the caller calls before closing the socket. */
#ifndef DEVERI_H
#define DEVERI_H

#ifdef __cplusplus
extern "C" {
#endif

#define DEVERI_API __attribute__((visibility("default")))

typedef void* DeveriSession;

/* Capacity a caller's error-text buffer must have: the reason written there is at most
 * DEVERI_ERROR_TEXT_SIZE - 1 characters and a NUL. */
#define DEVERI_ERROR_TEXT_SIZE 256

/* Files in the program data directory. The key is written with mode 0600. */
#define DEVERI_KEY_FILE "SSL.KEY"        /* the gateway's 2048-bit RSA key (PEM) */
#define DEVERI_CERT_FILE "SSL.CRT"       /* its self-signed server certificate (PEM) */
#define DEVERI_CSR_FILE "SSL.CSR"        /* the certificate sign request for a CA (PEM) */
#define DEVERI_SIGNED_CERT_FILE "SSL.CA" /* the CA-signed certificate the operator saves (PEM) */

/* Non-zero when TLS can be used (the TLS toolkit started). */
DEVERI_API int sslInitLib(void);
/* Releases what sslInitLib set up; sessions must be freed before. */
DEVERI_API void sslTermLib(void);

/* Client handshake over the connected socket. Returns the session, or null with the reason in
 * errorText (for example the toolkit's error text, "peer closed the connection", an expired
 * certificate, or a server that answers in plain text). The server certificate's trust is
 * recorded in the transcript but does not fail the handshake; an expired or not yet valid
 * certificate does. */
DEVERI_API DeveriSession sslInitSession(int socket, char* errorText);
/* Server handshake with the gateway's certificate (SSL.CA when it matches the key, else SSL.CRT).
 * Null with the reason in errorText on failure. */
DEVERI_API DeveriSession sslAcceptSession(int socket, char* errorText);
/* Like the socket send and receive: bytes sent or received, 0 when the peer closed (receive),
 * -1 on failure or when the time-out (see sslSetTimeout) passes without progress. */
DEVERI_API int sslSend(DeveriSession session, const char* data, int length);
DEVERI_API int sslRecv(DeveriSession session, char* buffer, int size);
/* Number of decrypted bytes waiting in the session (non-zero: read without waiting on the
 * socket). */
DEVERI_API int sslDataPending(DeveriSession session);
/* Sends the closing alert (without waiting for the peer's) and frees the session. Always 0. */
DEVERI_API int sslFreeSession(DeveriSession session);

/* Non-zero when the server key and a certificate for it exist. */
DEVERI_API int sslServerCertExists(void);
/* Non-zero when SSL.CA holds a certificate whose public key matches the server key. */
DEVERI_API int sslSignedCertExists(void);
/* Creates a new 2048-bit RSA key, a self-signed server certificate and a certificate sign request
 * (with the challenge password) for the subject given by the eight texts; empty texts are left out
 * of the subject, and a country that is not two characters long too. Returns 1 on success, 0 when
 * anything could not be created or written (the previous files are then unchanged). */
DEVERI_API int sslGenerateCertificate(const char* country, const char* state, const char* city,
                                      const char* company, const char* department, const char* host,
                                      const char* email, const char* challengePassword);

/* Optional entry points, beyond what the console binds. */
/* The longest wait for the peer in each handshake, send or receive, in milliseconds (default
 * 15000). Values below 1 restore the default. */
DEVERI_API void sslSetTimeout(int milliseconds);
/* The transcript of the last handshake (sslInitSession or sslAcceptSession): protocol version,
 * cipher, and the peer certificate's subject, issuer, validity dates and whether it verifies
 * against the system's trusted authorities; or the reason of the failure. Copies it into buffer
 * (cut to size - 1 characters, NUL-terminated) and returns its full length. */
DEVERI_API int sslGetTranscript(char* buffer, int size);

#ifdef __cplusplus
}
#endif

#endif /* DEVERI_H */
