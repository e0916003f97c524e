// Looking up the reflector's name, and the address every thread shares.
#include "config/reflector_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>

std::atomic<in_addr_t> REFLECTOR_IP{0};

lookup_outcome reflector_lookup(const char* name, in_addr_t* address, const char** reason)
{
    // getaddrinfo, unlike gethostbyname, is safe beside the other threads.
    struct addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    struct addrinfo* found = nullptr;
    int error = getaddrinfo(name, nullptr, &hints, &found);
    if (error == 0 && found) {
        in_addr_t first = reinterpret_cast<const struct sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
        freeaddrinfo(found);
        // 0.0.0.0 is how some name servers block a name; it reaches no reflector.
        if (first != INADDR_ANY) {
            *address = first;
            return lookup_outcome::found;
        }
        *reason = "the name server answers 0.0.0.0";
        return lookup_outcome::no_answer;
    }
    *reason = gai_strerror(error);
    // A name without an IPv4 address is as wrong as one that does not exist.
    if (error == EAI_NONAME || error == EAI_NODATA || error == EAI_ADDRFAMILY)
        return lookup_outcome::no_such_name;
    return lookup_outcome::no_answer;
}

void format_ipv4(char* buf, size_t size, in_addr_t address)
{
    struct in_addr in;
    in.s_addr = address;
    if (!inet_ntop(AF_INET, &in, buf, static_cast<socklen_t>(size)) && size > 0)
        buf[0] = '\0';
}
