// The hex coding in which the PEI carries SDS payloads: windows and bounds.
#include <gtest/gtest.h>

#include "util/text.h"

TEST(Hex, DecodeWindowsAndBounds)
{
    struct {
        const char* name;
        const char* in;
        int len;
        size_t out_size;
        std::string expected;
    } cases[] = {
        {"two bytes", "4142", 4, 32, "AB"},
        {"odd bound still reads the pair", "4142", 3, 32, "AB"},
        {"pair at the terminator gives 0", "4142", 5, 32, std::string("AB\0", 3)},
        {"16-bit units keep the low byte", "00410042", 4, 32, "AB"},
        {"16-bit window reaches past the text", "00410042", 8, 32, std::string("AB\0\0", 4)},
        {"length 0", "4142", 0, 32, ""},
        {"lower-case digits", "6a6B", 4, 32, "jk"},
        {"last digit before CR", "414\r", 4, 32, "A\x04"},
        {"pairs read like strtol: a non-hex first digit gives 0", "G141", 4, 32, std::string("\0A", 2)},
        {"output buffer bounds the text", "41424344454647", 14, 4, "ABC"},
        {"and the 16-bit window", "00410042", 1000, 4, std::string("AB\0", 3)},
        {"a 16-bit window of the largest length (twice it overflows a 32-bit long)", "0041", INT_MAX, 4,
         std::string("A\0\0", 3)},
    };
    for (const auto& c : cases) {
        char out[33];
        memset(out, 'Z', sizeof out);
        decodehex(c.in, c.len, out, c.out_size);
        size_t n = c.expected.size();
        EXPECT_EQ(std::string(out, n), c.expected) << c.name;
        EXPECT_EQ(out[n], '\0') << c.name;
        EXPECT_EQ(out[c.out_size], 'Z') << c.name << ": written past the buffer";
    }
}

TEST(Hex, EncodeRoundTripsEveryByteValueAndStopsShort)
{
    char bytes[256];
    for (int i = 0; i < 256; i++)
        bytes[i] = static_cast<char>(i + 1); // a leading 00 pair would select the 16-bit window
    bytes[255] = 0;
    char hex[513];
    encodehex(bytes, 256, hex, sizeof hex);
    ASSERT_EQ(strlen(hex), 512u);
    EXPECT_EQ(std::string(hex + 508), "FF00");
    char back[257];
    decodehex(hex, 512, back, sizeof back);
    EXPECT_EQ(memcmp(back, bytes, 256), 0);

    char tiny[4];
    encodehex("ABC", 3, tiny, sizeof tiny); // room for one byte only
    EXPECT_STREQ(tiny, "41");
}
