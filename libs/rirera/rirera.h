/* The UCP/EMI client library of the product family (librirera.so): connect and log in with
 * operation 60 (session management, open session). Logging out is closing the connection. All
 * entry points are plain C.
 *
 * Types: a socket is a TCP socket descriptor (int) created and closed by the caller; a TLS session
 * handle is the opaque pointer returned by libdeveri's sslInitSession (the console passes null).
 * Results are 0 for success or a code for UCPErrorText: a positive code is the server's error code
 * (EC), a negative one a failure seen by this library (RIRERA_E_...). */
#ifndef RIRERA_H
#define RIRERA_H

#ifdef __cplusplus
extern "C" {
#endif

#define RIRERA_API __attribute__((visibility("default")))

#define RIRERA_E_SOCKET (-1)           /* sending or receiving failed */
#define RIRERA_E_TIMEOUT (-2)          /* no complete answer within the time-out */
#define RIRERA_E_CLOSED (-3)           /* the server closed the connection before answering */
#define RIRERA_E_CLOSED_MID_FRAME (-4) /* the server closed the connection inside a frame */
#define RIRERA_E_GARBAGE (-5)          /* bytes that are no UCP frame */
#define RIRERA_E_TOO_LONG (-6)         /* no end of frame within 100001 bytes */
#define RIRERA_E_BAD_RESPONSE (-7)     /* a malformed or unexpected response */
#define RIRERA_E_ARGUMENT (-8)         /* an invalid socket */
#define RIRERA_E_TLS_UNAVAILABLE (-9)  /* a TLS session was given but libdeveri is missing */
#define RIRERA_E_CHECKSUM (-11)        /* the response's checksum is wrong */

/* Connects the socket to the server; host may end in "#n". 0 = connected, else an errno value. */
RIRERA_API int UCPConnect(int socket, int reserved, const char* host, int port);
/* Operation 60 open session with the user name as OAdC (TON 6, NPI 5) and the password in IRA
 * hex. 0 = logged in. */
RIRERA_API int UCPBind(int socket, void* tlsSession, const char* user, const char* password);
/* Read-only text for a code of UCPBind, "07: Authentication failure", followed by the server's
 * own text when its answer carried one. Valid until the next call from the same thread. */
RIRERA_API const char* UCPErrorText(int code);
/* Non-zero: the transcript also holds a hex dump of every frame. */
RIRERA_API void UCPSetDebugMode(int mode);

/* Optional entry points, beyond what the console binds. */
/* The longest wait for the server, in milliseconds (default 10000; below 1 restores it). */
RIRERA_API void UCPSetTimeout(int milliseconds);
/* The transcript of the last session, frames decoded and the password masked; copied into buffer
 * (cut to size - 1, NUL-terminated); returns the full length. */
RIRERA_API int UCPGetTranscript(char* buffer, int size);

#ifdef __cplusplus
}
#endif

#endif /* RIRERA_H */
