// Preloaded into zendrilld by the tests: the name lookup of "hang.invalid"
// never comes back, as with a resolver that drops every query.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <netdb.h>
#include <string.h>
#include <unistd.h>

typedef int (*lookup_fn)(const char*, const char*, const struct addrinfo*, struct addrinfo**);

int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints, struct addrinfo** res) {
    if (node && strcmp(node, "hang.invalid") == 0) {
        static const char note[] = "hang_lookup: getaddrinfo(hang.invalid) hangs\n";
        if (write(2, note, sizeof note - 1) < 0) return EAI_SYSTEM;
        for (;;) pause();
    }
    lookup_fn real = (lookup_fn)dlsym(RTLD_NEXT, "getaddrinfo");
    return real ? real(node, service, hints, res) : EAI_SYSTEM;
}
