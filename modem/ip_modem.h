// IP modems: a GSM modem behind a terminal server, reached over TCP, greeted with telnet
// negotiation and possibly a login, prepared by a prompt-and-answer script from the connection's
// section of ZIZOD.INI. Also the two TCP helpers the connection tests share: connect by name with
// a rotating start address, and the graceful close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "modem/modem.h"

namespace modem {

// Telnet bytes.
inline constexpr unsigned char kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251,
                               kSb = 250, kSe = 240, kSuppressGoAhead = 3;
inline constexpr std::size_t kPromptBufferSize = 2048;

// Opens "IPModem - host:port": connect, login, script, wake-up, until the modem answers "AT" with
// OK. The link is the connected socket; no link on failure (the message has been shown).
ModemConnection OpenIpModem(const std::string& title);

// Collects what `socket` sends into `buffer` (cleared first; at most size - 1 bytes, zero-ended)
// until one of the alternatives (separated by "+++") appears, answering telnet commands at the
// head of the buffer. Returns the bytes held when an alternative was found; 0 when `seconds` ran
// out or the connection failed (the buffer keeps what was received).
std::size_t WaitForPrompt(int socket, char* buffer, std::size_t size, std::string_view alternatives,
                          unsigned seconds);

// Connects the TCP socket to `host` ("name", "dotted.ipv4" or "name#n") and `port`: 0 when
// connected, non-zero when no address could be connected.
int ConnectTcp(int socket, std::string_view host, uint16_t port);
// The dotted IPv4 literal test; a text that passes is rewritten in normal form ("010.1" becomes
// "10.1.0.0", "" becomes "0.0.0.0"). Trailing white space is always removed.
bool NormalizeDottedIpv4(std::string& text);

// Reads and discards what arrives until the peer closes or `seconds` have passed.
void DrainSocket(int socket, unsigned seconds);
// A connected socket: half-close, drain for at most 60 s. Then close it.
void CloseSocketGracefully(int socket);

// Replaces every backslash-r by a carriage return, then every backslash-n by a line feed.
void UnescapeCrLf(std::string& text);
// The INI section of an IP modem connection: its title with "[" and "]" escaped.
std::string IpModemSectionName(std::string_view title);

}  // namespace modem
