// Field splitting, hex coding and bounded copies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "util/text.h"

TEST(Split, FieldsEmptyFieldsAndLeadingDelimiter)
{
    char line[] = "a,b,,c,";
    struct split sp = split(line, ',');
    ASSERT_EQ(sp.count, 5);
    EXPECT_STREQ(sp.pointers[0], "a");
    EXPECT_STREQ(sp.pointers[1], "b");
    EXPECT_STREQ(sp.pointers[2], "");
    EXPECT_STREQ(sp.pointers[3], "c");
    EXPECT_STREQ(sp.pointers[4], "");
    EXPECT_EQ(sp.pointers[1], line + 2); // points into the buffer, delimiters now NUL

    char lead[] = ",abc";
    EXPECT_EQ(split(lead, ',').count, 1);
    EXPECT_STREQ(lead, ",abc");

    char empty[] = "";
    EXPECT_EQ(split(empty, ',').count, 1);
}

TEST(Split, KeepsAtMost256FieldsAndLeavesTheRestInTheLast)
{
    std::string many = "f";
    for (int i = 0; i < 300; i++)
        many += ";x";
    struct split sp = split(many.data(), ';');
    ASSERT_EQ(sp.count, SPLIT_MAX_FIELDS);
    EXPECT_STREQ(sp.pointers[254], "x");
    std::string rest = "x";
    for (int i = 255; i < 300; i++)
        rest += ";x";
    EXPECT_EQ(std::string(sp.pointers[255]), rest);
}

TEST(Hex, HexToAsciiReadsLikeStrtol)
{
    EXPECT_EQ(static_cast<unsigned char>(hexToAscii('4', '1')), 0x41);
    EXPECT_EQ(static_cast<unsigned char>(hexToAscii('f', 'f')), 0xFF);
    EXPECT_EQ(hexToAscii('G', '1'), 0);
    EXPECT_EQ(hexToAscii('4', '\r'), 4);
    EXPECT_EQ(hexToAscii('\0', '\0'), 0);
}

TEST(Hex, DecodeWindows)
{
    struct {
        const char* name;
        const char* in;
        int len;
        std::string expected;
    } cases[] = {
        {"two bytes", "4142", 4, "AB"},
        {"odd bound still reads the pair", "4142", 3, "AB"},
        {"pair at the terminator gives 0", "4142", 5, std::string("AB\0", 3)},
        {"16-bit units keep the low byte", "00410042", 4, "AB"},
        {"16-bit window reaches past the text", "00410042", 8, std::string("AB\0\0", 4)},
        {"length 0", "4142", 0, ""},
        {"lower case digits", "6a6B", 4, "jk"},
        {"last digit before CR", "414\r", 4, "A\x04"},
    };
    for (const auto& c : cases) {
        char out[32];
        memset(out, 'Z', sizeof out);
        decodehex(c.in, c.len, out, sizeof out);
        size_t n = c.expected.size();
        EXPECT_EQ(std::string(out, n), c.expected) << c.name;
        EXPECT_EQ(out[n], '\0') << c.name;
    }
}

TEST(Hex, DecodeNeverWritesPastTheOutputBuffer)
{
    char out[4];
    decodehex("41424344454647", 14, out, sizeof out);
    EXPECT_STREQ(out, "ABC");
    decodehex("00410042", 1000, out, sizeof out); // window far past the text
    EXPECT_STREQ(out, "AB");
}

TEST(Hex, EncodeRoundTripsEveryByteValue)
{
    char bytes[256];
    for (int i = 0; i < 256; i++)
        bytes[i] = static_cast<char>(i + 1); // a leading 00 pair would select the 16-bit window
    bytes[255] = 0;
    char hex[513];
    encodehex(bytes, 256, hex, sizeof hex);
    ASSERT_EQ(strlen(hex), 512u);
    EXPECT_EQ(std::string(hex, 4), "0102");
    EXPECT_EQ(std::string(hex + 508), "FF00");
    char back[257];
    decodehex(hex, 512, back, sizeof back);
    EXPECT_EQ(memcmp(back, bytes, 256), 0);
}

TEST(Hex, EncodeCases)
{
    char out[16];
    encodehex("\xE4", 1, out, sizeof out);
    EXPECT_STREQ(out, "E4");
    encodehex("A\0B", 3, out, sizeof out);
    EXPECT_STREQ(out, "410042");
    encodehex("AB", 0, out, sizeof out);
    EXPECT_STREQ(out, "");
    char tiny[4];
    encodehex("ABC", 3, tiny, sizeof tiny); // room for one byte only
    EXPECT_STREQ(tiny, "41");
}

TEST(Text, Hex2IntUpperAndBoundedCopy)
{
    EXPECT_EQ(hex2int('c'), 12);
    EXPECT_EQ(hex2int('C'), 12);
    EXPECT_EQ(hex2int('9'), 9);
    EXPECT_EQ(hex2int('g'), -1);

    char text[8] = {'p', '\0', 'x', 'q', 0, 0, 0, 0};
    upper(text, 3);
    EXPECT_EQ(text[0], 'P');
    EXPECT_EQ(text[1], '\0');
    EXPECT_EQ(text[2], 'X');
    EXPECT_EQ(text[3], 'q');
    upper(text, 0);

    char field[5];
    EXPECT_EQ(copy_field(field, "abcdefg"), 4u);
    EXPECT_STREQ(field, "abcd");
    EXPECT_EQ(copy_field(field, "ab"), 2u);
    EXPECT_STREQ(field, "ab");
}
