// The text SDS PDU: the reader's bounds on lines radios send. What the
// gateway builds is played byte for byte by the sessions, and the message
// reference's wrap after FF by the serial line's turns test.
#include <gtest/gtest.h>

#include "formats/text_pdu.h"

TEST(TextPdu, ReadingBounds)
{
    const struct {
        const char* name;
        const char* line;
        bool has_reference;
        int digits;
        std::string text;
    } cases[] = {
        {"whole", "82041A01414243\r", true, 6, "ABC"},
        {"window shorter than the text", "82041A01414243\r", true, 2, "A"},
        {"window past the line", "82041A01414243\r", true, 40, std::string("ABC\0", 4)},
        {"16-bit units", "82041A010041004200\r", true, 4, "AB"},
        {"no text", "82041A01\r", true, 8, ""},
        {"header only, no CR", "82041A01", true, 8, ""},
        {"reference not hex", "8204G101414243\r", false, 6, "ABC"},
        {"line ends in the reference", "82041\r", false, 6, ""},
        {"negative window", "82041A01414243\r", true, -5, ""},
    };
    for (const auto& c : cases) {
        char reference[3] = "--";
        EXPECT_EQ(text_pdu_reference(c.line, reference, sizeof reference), c.has_reference) << c.name;
        if (!c.has_reference) {
            EXPECT_STREQ(reference, "--") << c.name;
        }
        char text[32] = {};
        text_pdu_decode(c.line, c.digits, text, sizeof text);
        EXPECT_EQ(std::string(text, c.text.size()), c.text) << c.name;
        EXPECT_EQ(text[c.text.size()], '\0') << c.name;
    }
    EXPECT_EQ(text_pdu_announced_digits(8 * (4 + 5)), 10); // 4 header bytes, 5 text bytes
}
