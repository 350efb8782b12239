/* Preloaded into the console by scripts/demo.sh when it serves the console over VNC: Qt's vnc
 * platform of Qt 6.4 listens on every interface and has no address option, so every bind to the
 * wildcard address is turned into a bind to the loopback address (127.0.0.1, or ::ffff:127.0.0.1
 * on a dual-stack socket). Binds to a named address pass unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>

typedef int (*BindCall)(int, const struct sockaddr*, socklen_t);

__attribute__((visibility("default"))) int bind(int fd, const struct sockaddr* address,
                                                socklen_t length) {
    static BindCall real = 0;
    if (!real) {
        real = (BindCall)dlsym(RTLD_NEXT, "bind");
    }
    if (address && address->sa_family == AF_INET && length >= sizeof(struct sockaddr_in)) {
        struct sockaddr_in v4;
        memcpy(&v4, address, sizeof v4);
        if (v4.sin_addr.s_addr == htonl(INADDR_ANY)) {
            v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            return real(fd, (const struct sockaddr*)&v4, sizeof v4);
        }
    } else if (address && address->sa_family == AF_INET6 && length >= sizeof(struct sockaddr_in6)) {
        struct sockaddr_in6 v6;
        memcpy(&v6, address, sizeof v6);
        if (memcmp(&v6.sin6_addr, &in6addr_any, sizeof v6.sin6_addr) == 0) {
            static const unsigned char mapped[16] = {0, 0, 0,    0,    0,   0, 0, 0,
                                                     0, 0, 0xff, 0xff, 127, 0, 0, 1};
            memcpy(&v6.sin6_addr, mapped, sizeof mapped);
            return real(fd, (const struct sockaddr*)&v6, sizeof v6);
        }
    }
    return real(fd, address, length);
}
