// Start-up output: addresses and banner.
#include "process/host.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>

#include "build_defaults.h"
#include "util/console.h"

char server_address[100];

int add_server_address(char* list, size_t size, const char* address)
{
    size_t used = strlen(list);
    size_t extra = strlen(address) + 1;
    if (used + extra + 1 > size)
        return 0;
    if (strncmp(address, "44.", 3) == 0) {
        snprintf(list + used, size - used, "%s;", address);
    } else {
        memmove(list + extra, list, used + 1);
        memcpy(list, address, extra - 1);
        list[extra - 1] = ';';
    }
    return 1;
}

void list_addresses()
{
    struct ifaddrs* interfaces = nullptr;
    server_address[0] = '\0';
    if (getifaddrs(&interfaces) != 0)
        interfaces = nullptr;
    for (struct ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        char dotted[16];
        const struct sockaddr_in* in = reinterpret_cast<const struct sockaddr_in*>(entry->ifa_addr);
        inet_ntop(AF_INET, &in->sin_addr, dotted, sizeof dotted);
        log_raw("%s IP Address %s\n", entry->ifa_name, dotted);
        if (strcmp(entry->ifa_name, "lo") == 0)
            continue;
        add_server_address(server_address, sizeof server_address, dotted);
    }
    log_raw("ALL Addresses %s\n", server_address);
    if (interfaces)
        freeifaddrs(interfaces);
}

void print_banner()
{
    log_raw("\033[0;32m"
            " ####  ####   ####  ####  ####  ##### ####   ####  #####\n"
            "#      #   # #      #   # #   #   #   #   # #      #\n"
            "#      #   # #      #   # #   #   #   #   # #      #\n"
            " ###   #   #  ###   ####  ####    #   #   # #  ## ####\n"
            "    #  #   #     #  #   # #  #    #   #   # #   # #\n"
            "    #  #   #     #  #   # #   #   #   #   # #   # #\n"
            "####   ####  ####   ####  #   # ##### ####   ###  #####\n"
            "VERSION: %s\n"
            "\033[0m\n",
            SDSBRIDGE_VERSION);
}
