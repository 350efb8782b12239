/* The CIMD2 client library of the product family (libvideder.so): connect, and a login test that
 * logs in (01) and, once logged in, logs out again (02) so that the caller can close the socket
 * cleanly. All entry points are plain C.
 *
 * Types: a socket is a TCP socket descriptor (int) created and closed by the caller. The first
 * argument of the session calls is a text the console passes empty (kept for the binding; not
 * used). Results are 0 for success or a code for CIMDErrorText: a positive code is the server's
 * error code (parameter 900), a negative one a failure seen by this library (VIDEDER_E_...). */
#ifndef VIDEDER_H
#define VIDEDER_H

#ifdef __cplusplus
extern "C" {
#endif

#define VIDEDER_API __attribute__((visibility("default")))

#define VIDEDER_E_SOCKET (-1)            /* sending or receiving failed */
#define VIDEDER_E_TIMEOUT (-2)           /* no complete answer within the time-out */
#define VIDEDER_E_CLOSED (-3)            /* the server closed the connection before answering */
#define VIDEDER_E_CLOSED_MID_PACKET (-4) /* the server closed the connection inside a packet */
#define VIDEDER_E_GARBAGE (-5)           /* bytes that are no CIMD2 packet */
#define VIDEDER_E_TOO_LONG (-6)          /* no end of packet within 8192 bytes */
#define VIDEDER_E_BAD_RESPONSE (-7)      /* a malformed or unexpected response */
#define VIDEDER_E_ARGUMENT (-8)          /* an invalid socket */
#define VIDEDER_E_CHECKSUM (-11)         /* the response's checksum is wrong */
#define VIDEDER_E_NACK (-12)             /* the server refused our packet (nack, operation 98) */

/* Connects the socket to the server; host may end in "#n". 0 = connected, else an errno value. */
VIDEDER_API int CIMDConnect(const char* reserved, int socket, const char* host, int port);
/* Logs in with user identity (010) and password (011); on success logs out again. 0 = logged in. */
VIDEDER_API int CIMDBind(const char* reserved, int socket, const char* user, const char* password);
/* Read-only text for a code of CIMDBind, "100: Invalid login", followed by the server's own text
 * (parameter 901) when it sent one. Valid until the next call from the same thread. */
VIDEDER_API const char* CIMDErrorText(int code);
/* Non-zero: the transcript also holds a hex dump of every packet. */
VIDEDER_API void CIMDSetDebugMode(int mode);

/* Optional entry points, beyond what the console binds. */
/* The longest wait for the server, in milliseconds (default 10000; below 1 restores it). */
VIDEDER_API void CIMDSetTimeout(int milliseconds);
/* The transcript of the last session, packets decoded and the password masked; copied into buffer
 * (cut to size - 1, NUL-terminated); returns the full length. */
VIDEDER_API int CIMDGetTranscript(char* buffer, int size);

#ifdef __cplusplus
}
#endif

#endif /* VIDEDER_H */
