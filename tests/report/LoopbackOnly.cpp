// Name look-ups of the test process answer only the loopback address, so a report that missed the
// proxy fails at once instead of asking a name server about the endpoint's host.
#include <dlfcn.h>
#include <netdb.h>

#include <cstring>

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** res) {
    if (node == nullptr || std::strcmp(node, "127.0.0.1") != 0) return EAI_NONAME;
    using Real = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    return real ? real(node, service, hints, res) : EAI_FAIL;
}
