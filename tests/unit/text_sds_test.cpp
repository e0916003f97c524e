// Received text SDS: acknowledgement, routing by prefix, holding personal
// forwards until the radio confirms a sent SDS, and the decoding windows.
#include <climits>
#include <string>
#include <vector>

#include "events/handlers.h"
#include "support/pdu.h"
#include "textpos_fixture.h"

namespace {

// A text payload line: "82", message type, reference, coding, the hex text.
std::string text_line(const std::string& type, const std::string& ref, const std::string& digits)
{
    return "82" + type + ref + "01" + digits + "\r";
}

std::string group_report(const char* time, const std::string& text)
{
    return std::string("TEST-GW,Test,") + time + ",NO USER,GC,#0,1234567,," + text + ",\n";
}

} // namespace

class TextSds : public HandlerTest {};

TEST_F(TextSds, PersonalTextsAreAcknowledgedHeldAndReleasedOnceOnConfirmation)
{
    const std::string reply = "MERIDIAN-LINK:PC:\rALPHA:hi";
    struct Case {
        const char* name;
        const char* type;   // "04" or "0C"
        std::string digits; // hex text
        size_t bytes;       // text bytes the header announces
        const char* tag;    // console tag of the released datagram; nullptr: raw text to the dtmf file
        std::string held;
    };
    const std::vector<Case> cases = {
        {"GC keeps its composition time", "04", hex_of("gc:hi"), 5, "PC",
         group_report("05.12.2025 18:40:01", "GC:hi")}, // first: the acknowledgement takes one second
        {"lower-case pc", "04", hex_of("pc:hello"), 8, "PC", "::TEST-GW;1234567;PC:hello;\n"},
        {"820C like 8204", "0C", hex_of("pc:hello"), 8, "PC", "::TEST-GW;1234567;PC:hello;\n"},
        {"DN", "04", hex_of("DN:91#"), 6, "DN", "::TEST-GW;1234567;DN:91#;\n"},
        {"RG", "0C", hex_of("rg:x"), 4, "RG", "::TEST-GW;1234567;RG:x;\n"},
        {"reply", "04", hex_of(reply), reply.size(), "PC", "::TEST-GW;1234567;PC:ALPHA:hi;\n"},
        {"bare reply header", "04", hex_of("MERIDIAN-LINK:PC:\r"), 18, "PC", "::TEST-GW;1234567;PC:;\n"},
        {"plain text", "04", hex_of("hello"), 5, nullptr, "HELlo"},
        {"16-bit units", "04", "00500043003A00680069", 10, "PC", "::TEST-GW;1234567;PC:hi;\n"},
        {"cut to announced length", "04", hex_of("pc:hello"), 4, "PC", "::TEST-GW;1234567;PC:h;\n"},
        {"announced past the line", "04", hex_of("pc:hi"), 40, "PC", "::TEST-GW;1234567;PC:hi;\n"},
    };
    for (size_t i = 0; i < cases.size(); i++) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        unlink(dtmf_path.c_str());
        sdslength = static_cast<int>(8 * (4 + c.bytes)); // 4 header bytes
        EXPECT_EQ(handle(text_line(c.type, "1A", c.digits), handle_personal_text), "");
        EXPECT_EQ(radio_bytes(), "AT+CTSDS=12,0\rAT+CMGS=1234567,32\r8210001A\x1a");
        virtual_clock_advance_us(60LL * 1000000);
        for (const char* other : {"+CMGS: 0,3,1\r", "+CMGS: 1,4,1\r", "+CMGS: 0,4\r"})
            handle(other, handle_confirmation);
        EXPECT_EQ(reflector_next(), "") << "held until the radio confirms";
        EXPECT_FALSE(file_exists(dtmf_path));

        // Either confirmation releases, also with nothing after its prefix.
        std::string console = handle(i % 2 ? "+CMGS: 0,5,\r" : "+CMGS: 0,4,26\r", handle_confirmation);
        EXPECT_EQ(c.tag ? reflector_next() : read_file(dtmf_path), c.held);
        EXPECT_EQ(reflector_next(), "");
        if (c.tag) {
            EXPECT_NE(console.find(c.tag + ("->" + c.held) + "\n"), std::string::npos) << console;
        }
        unlink(dtmf_path.c_str());
        handle("+CMGS: 0,4,27\r", handle_confirmation);
        EXPECT_EQ(reflector_next(), "") << "released only once";
        EXPECT_FALSE(file_exists(dtmf_path));
    }
}

TEST_F(TextSds, ReportsComposedMeanwhileDoNotReplaceTheHeldForward)
{
    sdslength = 8 * (4 + 8);
    handle(text_line("04", "11", hex_of("PC:hello")), handle_personal_text);
    handle(text_line("00", "12", hex_of("GC:all")), handle_group_text);
    handle("+GIU: 0,01234567\r", handle_ptt_on);
    handle("038013160A2F00000000000066" "3A987654" "109E60F0" "000000" "5620" "\r", handle_position);
    for (const char* kind : {",GC,", ",VOICE,", ",GPS,"})
        EXPECT_NE(reflector_next().find(kind), std::string::npos) << kind;

    handle("+CMGS: 0,4,17\r", handle_confirmation);
    EXPECT_EQ(reflector_next(), "::TEST-GW;1234567;PC:hello;\n");
}

TEST_F(TextSds, GroupTextsGoToTheReflectorAtOnceOrToTheVoiceGatewayAfterSixSeconds)
{
    struct Case {
        const char* name;
        std::string digits;
        const char* tag;      // console tag of the datagram; nullptr: text to the dtmf file
        std::string expected; // datagram or file text
    } cases[] = {
        {"GC with report time", hex_of("GC:hi"), "GC", group_report(START_TIME, "GC:hi")},
        {"RG", hex_of("RG:x"), "RG", "::TEST-GW;1234567;RG:x;\n"},
        {"plain", hex_of("hello"), nullptr, "HELlo"},
        {"reply header is no reply in a group", hex_of("MERIDIAN-LINK:PC:\rX"), nullptr, "MERIDIAN-LINK:PC:\rX"},
        {"odd digit count ends on the lone digit", "414", nullptr, "A\x04"},
    };
    long long slept = 0;
    virtual_clock_on_sleep([&](long long us) {
        slept += us;
        EXPECT_FALSE(file_exists(dtmf_path)) << "written before the wait";
    });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unlink(dtmf_path.c_str());
        slept = 0;
        msg = 2; // a held personal text stays held
        std::string console = handle(text_line("00", "33", c.digits), handle_group_text);
        EXPECT_EQ(msg, 2);
        EXPECT_EQ(radio_bytes(), "") << "group texts are not acknowledged";
        EXPECT_EQ(c.tag ? reflector_next() : read_file(dtmf_path), c.expected);
        EXPECT_EQ(reflector_next(), "");
        EXPECT_EQ(file_exists(dtmf_path), !c.tag);
        EXPECT_EQ(slept, c.tag ? 0 : 6LL * 1000000);
        if (c.tag) {
            EXPECT_EQ(console.substr(20), c.tag + ("->" + c.expected) + "\n"); // after the console prefix
        }
    }
}

TEST_F(TextSds, DecodingStaysInsideTheLineAndTheTextBuffer)
{
    // Longest line the reader delivers, in 16-bit units, with an announced
    // length far beyond it: the window must stop at both buffers' ends.
    std::string line = "8204" "01" "01";
    while (line.size() < DATA_SIZE - 2)
        line += "0041";
    line.resize(DATA_SIZE - 2);
    for (int bits : {INT_MAX, INT_MIN, 1 << 20}) {
        SCOPED_TRACE(bits);
        sdslength = bits;
        handle(line + "\r", handle_personal_text);
        EXPECT_LT(strnlen(sendtext, sizeof sendtext), sizeof sendtext);
        radio_bytes();
    }
    handle(text_line("00", "01", std::string(DATA_SIZE - 10, '4')), handle_group_text);
    // 507 pairs "44", then the pair at the CR ends the text.
    EXPECT_EQ(read_file(dtmf_path), std::string((DATA_SIZE - 10) / 2, 'D'));
}
