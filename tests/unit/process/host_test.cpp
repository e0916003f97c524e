// The host's address list: its order and its bound.
#include <gtest/gtest.h>

#include "process/host.h"

namespace {

// AMPRNet ("44.") addresses go last; one that no longer fits is left out.
TEST(Host, AddressListOrderAndBound)
{
    char list[100] = "";
    for (const char* address : {"10.0.0.2", "44.1.2.3", "192.168.1.5", "44.9.9.9"})
        add_server_address(list, sizeof list, address);
    EXPECT_STREQ(list, "192.168.1.5;10.0.0.2;44.1.2.3;44.9.9.9;");
    list[0] = '\0';
    int added = 0;
    for (int i = 0; i < 20; i++)
        added += add_server_address(list, sizeof list, i % 2 ? "44.100.100.100" : "192.168.100.100");
    EXPECT_EQ(added, 6); // 6 x 16 characters fit in 99
    EXPECT_EQ(list[strlen(list) - 1], ';');
}

} // namespace
