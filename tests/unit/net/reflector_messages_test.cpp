// Reading reflector text messages, DAPNET pages and local SDS requests,
// malformed and hostile ones included, within their length bounds.
#include <gtest/gtest.h>

#include "net/reflector_messages.h"

namespace {

const std::string PC = "MERIDIAN-LINK:PC:\r";

constexpr int NONE = REFLECTOR_SDS_NONE, PERS = REFLECTOR_SDS_PERSONAL;

// Parses a copy of exactly the datagram's bytes: a read past them is seen by
// the address sanitizer.
int parse_exact(const std::string& datagram, reflector_request* out)
{
    std::vector<char> bytes(datagram.begin(), datagram.end());
    return reflector_message_parse(bytes.data(), bytes.size(), out);
}

TEST(ReflectorMessage, MalformedDatagrams)
{
    const struct {
        const char* name;
        std::string datagram;
        const char* issi; // "" and no SDS when sbuff is ""
        std::string sbuff;
    } cases[] = {
        {"fewer than three fields", "::DAPNET;ALPHA", "", ""},
        {"longer net name: a text, kind unread", "::DAPNETX;ALPHA;GC:1234567:Hi;", "1234567", PC + "ALPHA:Hi"},
        {"two blanks keep one", "::ANY;ALPHA;PC:1234567:  two", "1234567", PC + "ALPHA: two"},
        {"hundreds of semicolons", "::X;A;PC:1234567:Hi" + std::string(400, ';'), "1234567", PC + "A:Hi"},
        {"third field of colons only", "::X;A;" + std::string(300, ':'), "", PC + "A:"},
        {"single colon", ":X;ALPHA;PC:1234567:Hi", "", ""},
        {"command mark not at the start", " ::X;ALPHA;PC:1234567:Hi", "", ""},
        {"empty datagram", "", "", ""},
        {"NUL before the third field", std::string("::X;ALPHA\0;PC:1234567:Hi", 24), "", ""},
        {"bytes above 0x7F pass through", "::X;\xC4;PC:1234567:\xE4\xFF", "1234567", PC + "\xC4:\xE4\xFF"},
    };
    for (const auto& c : cases) {
        reflector_request out;
        EXPECT_EQ(parse_exact(c.datagram, &out), !c.sbuff.empty()) << c.name;
        EXPECT_EQ(out.kind, c.sbuff.empty() ? NONE : PERS) << c.name;
        EXPECT_STREQ(out.issi, c.issi) << c.name;
        EXPECT_EQ(std::string(out.sbuff), c.sbuff) << c.name;
    }
}

TEST(ReflectorMessage, LengthBounds)
{
    reflector_request out;
    // The composed text is cut at 499 characters, for texts and pages alike.
    std::string from(250, 'F'), text(260, 'T');
    ASSERT_EQ(parse_exact("::X;" + from + ";PC:1:" + text, &out), 1);
    EXPECT_EQ(std::string(out.sbuff), (PC + from + ":" + text).substr(0, 499));
    ASSERT_EQ(parse_exact("::DAPNET;" + from + ";GC:" + text, &out), 1);
    EXPECT_EQ(std::string(out.sbuff), ("DAPNET " + from + ":\r" + text).substr(0, 499));

    // Only the 524 bytes the socket delivers are read; a long ISSI is kept whole.
    std::string head = "::X;A;PC:" + std::string(100, '7') + ":";
    ASSERT_EQ(parse_exact(head + std::string(600, 'x'), &out), 1);
    EXPECT_EQ(std::string(out.sbuff), PC + "A:" + std::string(524 - head.size(), 'x'));
    std::string issi(524, '7');
    ASSERT_EQ(parse_exact("::X;A;PC:" + issi, &out), 0);
    ASSERT_EQ(parse_exact("::X;A;PC:" + issi.substr(0, 400) + ":Hi", &out), 1);
    EXPECT_EQ(std::string(out.issi), issi.substr(0, 400));
}

TEST(LocalRequest, Bounds)
{
    const struct {
        const char* name;
        std::string request;
        const char* call_id_nr;
        std::string call_message;
    } cases[] = {
        {"empty request", "", "       ", ""},
        {"eighth character starts the text", "12345678", "1234567", "8"},
        {"request ends at an embedded NUL", std::string("123\0004567Hello", 13), "123    ", ""},
        {"only 1024 bytes are read", "1234567" + std::string(1500, 'x'), "1234567", std::string(1017, 'x')},
    };
    for (const auto& c : cases) {
        std::vector<char> bytes(c.request.begin(), c.request.end());
        local_request out;
        local_request_parse(bytes.data(), bytes.size(), &out);
        EXPECT_STREQ(out.call_id_nr, c.call_id_nr) << c.name;
        EXPECT_EQ(std::string(out.call_message), c.call_message) << c.name;
    }
}

} // namespace
