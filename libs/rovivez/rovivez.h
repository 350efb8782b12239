/* The SMPP client library of the product family (librovivez.so): connect, bind, unbind and
 * submit over SMPP 3.3 or 3.4, plainly or through a TLS session of libdeveri. All entry points are
 * plain C.
 *
 * Types: a socket is a TCP socket descriptor (int) created and closed by the caller; a TLS session
 * handle is the opaque pointer returned by libdeveri's sslInitSession (null for plain TCP). The
 * arguments named `reserved` are passed as 0. Results are 0 for success or an error code for
 * SMPPErrorText: a positive code is the server's command_status, a negative one a failure seen by
 * this library (ROVIVEZ_E_...). */
#ifndef ROVIVEZ_H
#define ROVIVEZ_H

#ifdef __cplusplus
extern "C" {
#endif

#define ROVIVEZ_API __attribute__((visibility("default")))

/* Failures seen by the library itself. */
#define ROVIVEZ_E_SOCKET (-1)          /* sending or receiving failed */
#define ROVIVEZ_E_TIMEOUT (-2)         /* no complete answer within the time-out */
#define ROVIVEZ_E_CLOSED (-3)          /* the server closed the connection before answering */
#define ROVIVEZ_E_CLOSED_MID_PDU (-4)  /* the server closed the connection inside a PDU */
#define ROVIVEZ_E_GARBAGE (-5)         /* bytes that are no SMPP PDU */
#define ROVIVEZ_E_TOO_LONG (-6)        /* a PDU longer than 65536 bytes */
#define ROVIVEZ_E_BAD_RESPONSE (-7)    /* a malformed or unexpected response */
#define ROVIVEZ_E_ARGUMENT (-8)        /* an invalid socket, version or bind command */
#define ROVIVEZ_E_TLS_UNAVAILABLE (-9) /* a TLS session was given but libdeveri is missing */
#define ROVIVEZ_E_NO_TRANSCEIVER (-10) /* generic_nack to bind_transceiver (an SMPP 3.3 server) */

/* Connects the socket to the server; host may end in "#n" (a title's uniqueness suffix, not part
 * of the name). 0 = connected, else an errno value. */
ROVIVEZ_API int SMPPConnect(int socket, int reserved, const char* host, int port);

/* Binds: version 0x33 or 0x34, command 1 (receiver), 2 (transmitter) or 9 (transceiver). The
 * address range, bind TON and bind NPI come from keys AddressRange, BindTON and BindNPI of section
 * SMPP of the gateway's configuration file (through the support library). Texts longer than
 * SMPP 3.4 allows are sent as given and noted in the transcript. */
ROVIVEZ_API int SMPPBind(int socket, void* tlsSession, int reserved, int version, int command,
                         const char* systemId, const char* password, const char* systemType);

/* Sends unbind and waits for unbind_resp, answering enquire_link (and refusing deliveries with a
 * temporary error, so that the server keeps them) meanwhile. */
ROVIVEZ_API int SMPPUnbind(int socket, void* tlsSession, int reserved, int version);

/* Read-only text for a code of SMPPBind: "ESME_RINVPASWD (0x0000000E): Invalid Password". Valid
 * until the next call from the same thread. */
ROVIVEZ_API const char* SMPPErrorText(int code);

/* Submits one text message (submit_sm) on a bound session; the server's message id is copied into
 * messageId (cut to messageIdSize - 1, may be null). 0 or an error code as SMPPBind. */
ROVIVEZ_API int SMPPSubmitMessage(int socket, void* tlsSession, int reserved, const char* source,
                                  const char* destination, const char* text, char* messageId,
                                  int messageIdSize);

/* Non-zero: the transcript also holds a hex dump of every PDU. */
ROVIVEZ_API void SMPPSetDebugMode(int mode);

/* Optional entry points, beyond what the console binds. */
/* The longest wait for the server per answer, in milliseconds (default 10000; below 1 restores
 * it). */
ROVIVEZ_API void SMPPSetTimeout(int milliseconds);
/* The transcript of the last session (since the last SMPPConnect or SMPPBind on a new socket):
 * each PDU sent and received, decoded, the password masked. Copied into buffer (cut to size - 1,
 * NUL-terminated); returns the full length. */
ROVIVEZ_API int SMPPGetTranscript(char* buffer, int size);

#ifdef __cplusplus
}
#endif

#endif /* ROVIVEZ_H */
