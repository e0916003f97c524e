// Expected radio-line bytes for tests.
#include "support/pdu.h"

#include <cstdio>

std::string hex_of(const std::string& text)
{
    std::string out;
    char pair[3];
    for (unsigned char byte : text) {
        snprintf(pair, sizeof pair, "%02X", byte);
        out += pair;
    }
    return out;
}

std::string expected_transfer(const std::string& to, const std::string& text, unsigned lfd, bool repeater)
{
    bool group = to.empty();
    int bits = 4 * static_cast<int>(8 + 2 * text.size());
    char head[96];
    snprintf(head, sizeof head, "AT+CMGS=%s,%d\r%s%02X01", group ? "1" : to.c_str(), bits > 560 ? 560 : bits,
             group ? "8200" : "8204", lfd);
    std::string body = "AT+CTSDS=12,0\r" + std::string(head) + hex_of(text) + "\x1a";
    return repeater ? "AT+CTOM=1\r" + body + "AT+CTOM=6\r" : body;
}
