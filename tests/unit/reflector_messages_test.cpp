// Reading reflector text messages, DAPNET pages and local SDS requests.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "net/reflector_messages.h"

namespace {

struct reflector_case {
    const char* name;
    std::string datagram;
    int kind;
    const char* issi;
    const char* sbuff;
};

const reflector_case reflector_cases[] = {
    {"page to the group", "::DAPNET;ALPHA;GC:Hello;", REFLECTOR_SDS_GROUP, "", "DAPNET ALPHA:\rHello"},
    {"page to one radio", "::DAPNET;ALPHA;PC:1234567:Hello;", REFLECTOR_SDS_PERSONAL, "1234567",
     "DAPNET ALPHA:\rHello"},
    {"page without closing semicolon", "::DAPNET;ALPHA;PC:1234567:Hello", REFLECTOR_SDS_PERSONAL, "1234567",
     "DAPNET ALPHA:\rHello"},
    {"page loses one leading blank", "::DAPNET;ALPHA;PC:1234567: Hello", REFLECTOR_SDS_PERSONAL, "1234567",
     "DAPNET ALPHA:\rHello"},
    {"group page text ends at its colon", "::DAPNET;ALPHA;GC:Hi: there;", REFLECTOR_SDS_GROUP, "",
     "DAPNET ALPHA:\rHi"},
    {"group page with empty text", "::DAPNET;ALPHA;GC:;", REFLECTOR_SDS_GROUP, "", "DAPNET ALPHA:\r"},
    {"personal page without text", "::DAPNET;ALPHA;PC:1234567;", REFLECTOR_SDS_NONE, "", ""},
    {"personal page without text or semicolon", "::DAPNET;ALPHA;PC:1234567", REFLECTOR_SDS_NONE, "", ""},
    {"page of another kind", "::DAPNET;ALPHA;XX:1234567:Hello;", REFLECTOR_SDS_NONE, "", ""},
    {"group page without text", "::DAPNET;ALPHA;GC;", REFLECTOR_SDS_NONE, "", ""},
    {"group page without third field", "::DAPNET;ALPHA", REFLECTOR_SDS_NONE, "", ""},
    {"paging net name is case-sensitive", "::dapnet;ALPHA;GC:Hello;", REFLECTOR_SDS_NONE, "", ""},
    {"longer net name is a reflector text", "::DAPNETX;ALPHA;GC:1234567:Hello;", REFLECTOR_SDS_PERSONAL, "1234567",
     "MERIDIAN-LINK:PC:\rALPHA:Hello"},
    {"reflector text ends at its colon", "::X;ALPHA;PC:1234567: Meet at 12:30;", REFLECTOR_SDS_PERSONAL, "1234567",
     "MERIDIAN-LINK:PC:\rALPHA:Meet at 12"},
    {"reflector text kind is not looked at", "::ANY;ALPHA;ZZ:1234567: Hi there;", REFLECTOR_SDS_PERSONAL,
     "1234567", "MERIDIAN-LINK:PC:\rALPHA:Hi there"},
    {"two blanks keep one", "::ANY;ALPHA;PC:1234567:  two blanks", REFLECTOR_SDS_PERSONAL, "1234567",
     "MERIDIAN-LINK:PC:\rALPHA: two blanks"},
    {"reflector text ends at its semicolon", "::ANY;ALPHA;PC:1234567:Hi;there", REFLECTOR_SDS_PERSONAL, "1234567",
     "MERIDIAN-LINK:PC:\rALPHA:Hi"},
    {"bare command mark as net name", "::;ALPHA;PC:1234567:Hi", REFLECTOR_SDS_PERSONAL, "1234567",
     "MERIDIAN-LINK:PC:\rALPHA:Hi"},
    {"reflector text without text", "::ANY;ALPHA;PC:1234567;", REFLECTOR_SDS_NONE, "", ""},
    {"two fields only", "::ANY;ALPHA", REFLECTOR_SDS_NONE, "", ""},
    {"command mark alone", "::", REFLECTOR_SDS_NONE, "", ""},
    {"empty third field", "::;;", REFLECTOR_SDS_NONE, "", ""},
    {"keepalive", ">>ABC", REFLECTOR_SDS_NONE, "", ""},
    {"report", "GW,Comment,05.12.2025 18:40:00,GW,POS,#232,1,,E;1;N;2;000;,\n", REFLECTOR_SDS_NONE, "", ""},
    {"single colon", ":X;ALPHA;PC:1234567:Hi", REFLECTOR_SDS_NONE, "", ""},
    {"command mark not at the start", " ::X;ALPHA;PC:1234567:Hi", REFLECTOR_SDS_NONE, "", ""},
    {"empty datagram", "", REFLECTOR_SDS_NONE, "", ""},
    {"text ends at an embedded NUL", std::string("::X;ALPHA;PC:1234567:Hi\0there", 29), REFLECTOR_SDS_PERSONAL,
     "1234567", "MERIDIAN-LINK:PC:\rALPHA:Hi"},
    {"NUL before the third field", std::string("::X;ALPHA\0;PC:1234567:Hi", 24), REFLECTOR_SDS_NONE, "", ""},
    {"bytes above 0x7F pass through", "::X;\xC4LPHA;PC:1234567:\xE4\xFF", REFLECTOR_SDS_PERSONAL, "1234567",
     "MERIDIAN-LINK:PC:\r\xC4LPHA:\xE4\xFF"},
};

// Parses a copy of exactly the datagram's bytes, so that a read past them is
// seen by the address sanitizer.
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
        int sent = parse_exact(c.datagram, &out);
        EXPECT_EQ(sent, c.kind != REFLECTOR_SDS_NONE ? 1 : 0);
        EXPECT_EQ(out.kind, c.kind);
        EXPECT_STREQ(out.issi, c.issi);
        EXPECT_STREQ(out.sbuff, c.sbuff);
    }
}

TEST(ReflectorMessage, ComposedTextIsCutAt499Characters)
{
    reflector_request out;
    // Sender and text together far beyond what the SDS text holds.
    std::string from(250, 'F'), text(260, 'T');
    ASSERT_EQ(parse_exact("::X;" + from + ";PC:1:" + text, &out), 1);
    std::string expected = "MERIDIAN-LINK:PC:\r" + from + ":" + text;
    EXPECT_EQ(std::string(out.sbuff), expected.substr(0, SBUFF_SIZE - 1));

    ASSERT_EQ(parse_exact("::DAPNET;" + from + ";GC:" + text, &out), 1);
    expected = "DAPNET " + from + ":\r" + text;
    EXPECT_EQ(std::string(out.sbuff), expected.substr(0, SBUFF_SIZE - 1));
}

TEST(ReflectorMessage, OnlyThe524BytesTheSocketDeliversAreRead)
{
    reflector_request out;
    // A long ISSI field keeps the composed text below its own limit.
    std::string head = "::X;A;PC:" + std::string(100, '7') + ":";
    ASSERT_EQ(parse_exact(head + std::string(600, 'x'), &out), 1);
    EXPECT_EQ(std::string(out.sbuff), "MERIDIAN-LINK:PC:\rA:" + std::string(REFLECTOR_BUFFER_SIZE - head.size(), 'x'));

    // A long ISSI field is kept whole (the transfer writes it verbatim).
    std::string issi(REFLECTOR_BUFFER_SIZE, '7');
    ASSERT_EQ(parse_exact("::X;A;PC:" + issi, &out), 0);
    ASSERT_EQ(parse_exact("::X;A;PC:" + issi.substr(0, 400) + ":Hi", &out), 1);
    EXPECT_EQ(std::string(out.issi), issi.substr(0, 400));
}

TEST(ReflectorMessage, ShorterDatagramCarriesNothingOfAnEarlierOne)
{
    // The same buffer, first holding a long datagram, then a short one over it.
    char buffer[REFLECTOR_BUFFER_SIZE + 1];
    const char* longer = "::X;ALPHA;PC:1234567:Hello there, a long text";
    const char* shorter = "::X;AB;PC:7654321:Hi";
    memcpy(buffer, longer, strlen(longer));
    memcpy(buffer, shorter, strlen(shorter));
    reflector_request out;
    ASSERT_EQ(reflector_message_parse(buffer, strlen(shorter), &out), 1);
    EXPECT_STREQ(out.issi, "7654321");
    EXPECT_STREQ(out.sbuff, "MERIDIAN-LINK:PC:\rAB:Hi");
}

TEST(ReflectorMessage, HundredsOfSeparators)
{
    reflector_request out;
    std::string many_fields = "::X;A;PC:1234567:Hi" + std::string(400, ';');
    ASSERT_EQ(parse_exact(many_fields, &out), 1);
    EXPECT_STREQ(out.sbuff, "MERIDIAN-LINK:PC:\rA:Hi");

    std::string many_parts = "::X;A;PC:1234567:Hi" + std::string(400, ':');
    ASSERT_EQ(parse_exact(many_parts, &out), 1);
    EXPECT_STREQ(out.sbuff, "MERIDIAN-LINK:PC:\rA:Hi");

    EXPECT_EQ(parse_exact("::" + std::string(522, ';'), &out), 0);
    // A third field of colons only: its first colon is text, the rest empty parts.
    ASSERT_EQ(parse_exact("::X;A;" + std::string(300, ':'), &out), 1);
    EXPECT_STREQ(out.issi, "");
    EXPECT_STREQ(out.sbuff, "MERIDIAN-LINK:PC:\rA:");
}

// Random and malformed datagrams: nothing may crash, read past the received
// bytes, overrun a field, or answer differently to the same bytes.
TEST(ReflectorMessage, RandomDatagramsNeverBreakTheParser)
{
    std::mt19937 rng(20261206);
    const std::string alphabet = "::::;;;;  DAPNETGCPXZ1234567\r\n\t\x01\x7F\x80\xE4\xFF";
    const char* prefixes[] = {"", "::", "::DAPNET;", "::DAPNET;A;GC", "::DAPNET;A;PC:", "::X;A;PC:1:", ">>"};
    for (int i = 0; i < 50000; i++) {
        std::string datagram = prefixes[rng() % 7];
        size_t len = rng() % 700;
        bool any_byte = rng() % 4 == 0;
        while (datagram.size() < len) {
            char c = any_byte ? static_cast<char>(rng() % 256) : alphabet[rng() % alphabet.size()];
            datagram.push_back(rng() % 50 == 0 ? '\0' : c);
        }
        reflector_request out;
        int sent = parse_exact(datagram, &out);
        ASSERT_EQ(sent, out.kind != REFLECTOR_SDS_NONE) << i;
        ASSERT_LT(strlen(out.sbuff), static_cast<size_t>(SBUFF_SIZE));
        ASSERT_LE(strlen(out.issi), static_cast<size_t>(REFLECTOR_BUFFER_SIZE));
        if (!sent) {
            ASSERT_STREQ(out.sbuff, "");
            continue;
        }
        ASSERT_EQ(datagram.compare(0, 2, "::"), 0);
        bool page = strncmp(out.sbuff, "DAPNET ", 7) == 0;
        ASSERT_TRUE(page || strncmp(out.sbuff, "MERIDIAN-LINK:PC:\r", 18) == 0) << i;
        // Garbage behind the received bytes changes nothing.
        std::string padded = datagram + std::string(40, ':');
        reflector_request again;
        ASSERT_EQ(reflector_message_parse(padded.data(), datagram.size(), &again), 1);
        ASSERT_STREQ(again.sbuff, out.sbuff);
        ASSERT_STREQ(again.issi, out.issi);
    }
}

namespace {

struct local_case {
    const char* name;
    std::string request;
    const char* call_id_nr;
    const char* call_message;
};

const local_case local_cases[] = {
    {"ISSI and text", "1234567Hello", "1234567", "Hello"},
    {"short request pads the ISSI field", "12345", "12345  ", ""},
    {"empty request", "", "       ", ""},
    {"seven characters only", "1234567", "1234567", ""},
    {"eighth character starts the text", "12345678", "1234567", "8"},
    {"text keeps its blanks and separators", "1234567 a;b:c ", "1234567", " a;b:c "},
    {"request ends at an embedded NUL", std::string("123\0004567Hello", 13), "123    ", ""},
    {"NUL inside the text", std::string("1234567Hi\0there", 15), "1234567", "Hi"},
    {"bytes above 0x7F pass through", "\xE4\xFF" "34567\x80", "\xE4\xFF" "34567", "\x80"},
};

void local_parse_exact(const std::string& request, local_request* out)
{
    std::vector<char> bytes(request.begin(), request.end());
    local_request_parse(bytes.data(), bytes.size(), out);
}

} // namespace

TEST(LocalRequest, NamedCases)
{
    for (const local_case& c : local_cases) {
        SCOPED_TRACE(c.name);
        local_request out;
        local_parse_exact(c.request, &out);
        EXPECT_STREQ(out.call_id_nr, c.call_id_nr);
        EXPECT_STREQ(out.call_message, c.call_message);
    }
}

TEST(LocalRequest, LongAndReusedBuffers)
{
    local_request out;
    local_parse_exact("1234567" + std::string(1500, 'x'), &out);
    EXPECT_EQ(strlen(out.call_message), static_cast<size_t>(SMS_SENDER_BUFFER_SIZE - LOCAL_ISSI_WIDTH));

    char buffer[SMS_SENDER_BUFFER_SIZE + 1];
    memcpy(buffer, "1234567A long request text", 26);
    memcpy(buffer, "76543", 5);
    local_request_parse(buffer, 5, &out);
    EXPECT_STREQ(out.call_id_nr, "76543  ");
    EXPECT_STREQ(out.call_message, "");
}
