// Start-up output: this host's IPv4 addresses and the banner.
#pragma once
#include <cstddef>

// This host's IPv4 addresses, each followed by ";". Only printed.
extern char server_address[100];

// Adds address to list (size bytes): a "44." (AMPRNet) address goes to the
// end, any other to the front, each followed by ";". An address that no
// longer fits is left out. Returns 1 when it was added.
int add_server_address(char* list, size_t size, const char* address);

// Prints every IPv4 interface address and then "ALL Addresses" with the list
// of all but the loopback interface's.
void list_addresses();

// The green block-letter banner and the version line.
void print_banner();
