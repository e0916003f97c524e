// The text SDS PDU: the edges of what the gateway builds (the sessions play
// the usual headers byte for byte), and the reader's bounds on lines radios send.
#include <gtest/gtest.h>

#include "formats/text_pdu.h"
#include "util/text.h"

TEST(TextPdu, BuiltHeadersAndReports)
{
    char out[32];
    const struct {
        const char* type;
        unsigned reference;
        const char* header;
    } headers[] = {
        {TEXT_PDU_PERSONAL, 16, "82041001"},
        {TEXT_PDU_GROUP, 255, "8200FF01"},
        {TEXT_PDU_PERSONAL, 0, "82040001"},
    };
    for (const auto& h : headers) {
        text_pdu_header(out, sizeof out, h.type, h.reference);
        EXPECT_STREQ(out, h.header);
    }
    text_pdu_report(out, sizeof out, "1A");
    EXPECT_STREQ(out, "8210001A");
    text_pdu_report(out, sizeof out, "1A2B"); // only the reference's two characters
    EXPECT_STREQ(out, "8210001A");
}

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
