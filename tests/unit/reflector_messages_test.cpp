// Reading reflector text messages, DAPNET pages and local SDS requests.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "net/reflector_messages.h"

namespace {

const std::string PC = "MERIDIAN-LINK:PC:\r";

struct reflector_case {
    const char* name;
    std::string datagram;
    int kind;
    const char* issi;
    std::string sbuff;
};

constexpr int NONE = REFLECTOR_SDS_NONE, PERS = REFLECTOR_SDS_PERSONAL, GROUP = REFLECTOR_SDS_GROUP;

const reflector_case reflector_cases[] = {
    {"page to the group", "::DAPNET;ALPHA;GC:Hello;", GROUP, "", "DAPNET ALPHA:\rHello"},
    {"page to one radio, no closing semicolon", "::DAPNET;ALPHA;PC:1234567:Hello", PERS, "1234567",
     "DAPNET ALPHA:\rHello"},
    {"personal page without text", "::DAPNET;ALPHA;PC:1234567", NONE, "", ""},
    {"page of another kind", "::DAPNET;ALPHA;XX:1234567:Hello;", NONE, "", ""},
    {"group page without text", "::DAPNET;ALPHA;GC;", NONE, "", ""},
    {"fewer than three fields", "::DAPNET;ALPHA", NONE, "", ""},
    {"longer net name: a text, kind unread", "::DAPNETX;ALPHA;GC:1234567:Hi;", PERS, "1234567", PC + "ALPHA:Hi"},
    {"text ends at its colon", "::X;ALPHA;PC:1234567: Meet at 12:30;", PERS, "1234567", PC + "ALPHA:Meet at 12"},
    {"two blanks keep one", "::ANY;ALPHA;PC:1234567:  two", PERS, "1234567", PC + "ALPHA: two"},
    {"reflector text without text", "::ANY;ALPHA;PC:1234567;", NONE, "", ""},
    {"hundreds of semicolons", "::X;A;PC:1234567:Hi" + std::string(400, ';'), PERS, "1234567", PC + "A:Hi"},
    {"third field of colons only", "::X;A;" + std::string(300, ':'), PERS, "", PC + "A:"},
    {"command mark alone", "::", NONE, "", ""},
    {"keepalive", ">>ABC", NONE, "", ""},
    {"single colon", ":X;ALPHA;PC:1234567:Hi", NONE, "", ""},
    {"command mark not at the start", " ::X;ALPHA;PC:1234567:Hi", NONE, "", ""},
    {"empty datagram", "", NONE, "", ""},
    {"text ends at a NUL", std::string("::X;ALPHA;PC:1234567:Hi\0there", 29), PERS, "1234567", PC + "ALPHA:Hi"},
    {"NUL before the third field", std::string("::X;ALPHA\0;PC:1234567:Hi", 24), NONE, "", ""},
    {"bytes above 0x7F pass through", "::X;\xC4;PC:1234567:\xE4\xFF", PERS, "1234567", PC + "\xC4:\xE4\xFF"},
};

// Parses a copy of exactly the datagram's bytes: a read past them is seen by
// the address sanitizer.
int parse_exact(const std::string& datagram, reflector_request* out)
{
    std::vector<char> bytes(datagram.begin(), datagram.end());
    return reflector_message_parse(bytes.data(), bytes.size(), out);
}

} // namespace

TEST(ReflectorMessage, NamedCases)
{
    for (const reflector_case& c : reflector_cases) {
        SCOPED_TRACE(c.name);
        reflector_request out;
        EXPECT_EQ(parse_exact(c.datagram, &out), c.kind != NONE ? 1 : 0);
        EXPECT_EQ(out.kind, c.kind);
        EXPECT_STREQ(out.issi, c.issi);
        EXPECT_EQ(std::string(out.sbuff), c.sbuff);
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

// The same buffer, a long datagram first, then a shorter one over it.
TEST(ReflectorMessage, ShorterDatagramCarriesNothingOfAnEarlierOne)
{
    char buffer[SMS_SENDER_BUFFER_SIZE + 1];
    memcpy(buffer, "::X;ALPHA;PC:1234567:Hello there, a long text", 45);
    memcpy(buffer, "::X;AB;PC:7654321:Hi", 20);
    reflector_request out;
    ASSERT_EQ(reflector_message_parse(buffer, 20, &out), 1);
    EXPECT_STREQ(out.issi, "7654321");
    EXPECT_EQ(std::string(out.sbuff), PC + "AB:Hi");

    memcpy(buffer, "76543", 5);
    local_request local;
    local_request_parse(buffer, 5, &local);
    EXPECT_STREQ(local.call_id_nr, "76543  ");
    EXPECT_STREQ(local.call_message, "");
}

// Random and malformed datagrams: nothing may crash, read past the received
// bytes, overrun a field, or answer differently to the same bytes.
TEST(ReflectorMessage, RandomDatagramsNeverBreakTheParser)
{
    std::mt19937 rng(20261206);
    const std::string alphabet = "::::;;;;  DAPNETGCPXZ1234567\r\n\t\x01\x7F\x80\xE4\xFF";
    const char* prefixes[] = {"", "::", "::DAPNET;", "::DAPNET;A;GC", "::DAPNET;A;PC:", "::X;A;PC:1:", ">>"};
    for (int i = 0; i < 50000; i++) {
        std::string d = prefixes[rng() % 7];
        size_t len = rng() % 700;
        bool any_byte = rng() % 4 == 0;
        while (d.size() < len)
            d.push_back(rng() % 50 == 0 ? '\0' : any_byte ? char(rng() % 256) : alphabet[rng() % alphabet.size()]);
        reflector_request out, again;
        int sent = parse_exact(d, &out);
        std::string padded = d + std::string(40, ':'); // garbage behind the received bytes changes nothing
        ASSERT_EQ(reflector_message_parse(padded.data(), d.size(), &again), sent) << i;
        ASSERT_STREQ(again.sbuff, out.sbuff);
        ASSERT_STREQ(again.issi, out.issi);
        ASSERT_EQ(sent, out.kind != NONE) << i;
        ASSERT_LT(strlen(out.sbuff), 500u);
        ASSERT_LE(strlen(out.issi), 524u);
        if (!sent)
            ASSERT_STREQ(out.sbuff, "");
        else
            ASSERT_TRUE(d.compare(0, 2, "::") == 0 &&
                        (strncmp(out.sbuff, "DAPNET ", 7) == 0 || strncmp(out.sbuff, PC.c_str(), 18) == 0)) << i;
    }
}

TEST(LocalRequest, NamedCases)
{
    const struct {
        const char* name;
        std::string request;
        const char* call_id_nr;
        std::string call_message;
    } cases[] = {
        {"ISSI and text", "1234567Hello", "1234567", "Hello"},
        {"short request pads the ISSI field", "12345", "12345  ", ""},
        {"empty request", "", "       ", ""},
        {"eighth character starts the text", "12345678", "1234567", "8"},
        {"request ends at an embedded NUL", std::string("123\0004567Hello", 13), "123    ", ""},
        {"only 1024 bytes are read", "1234567" + std::string(1500, 'x'), "1234567", std::string(1017, 'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char> bytes(c.request.begin(), c.request.end());
        local_request out;
        local_request_parse(bytes.data(), bytes.size(), &out);
        EXPECT_STREQ(out.call_id_nr, c.call_id_nr);
        EXPECT_EQ(std::string(out.call_message), c.call_message);
    }
}
