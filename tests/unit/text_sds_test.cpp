// Received text SDS: acknowledgement, routing by prefix, holding personal
// forwards until the radio confirms a sent SDS, and the decoding windows.
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "events/handlers.h"
#include "support/pdu.h"
#include "textpos_fixture.h"
#include "util/text.h"

namespace {

// A personal text payload line as the radio hands it over.
std::string personal_line(const std::string& type, const std::string& ref, const std::string& text_digits)
{
    return "82" + type + ref + "01" + text_digits + "\r";
}

// Header length in bits for a PDU of 4 header bytes and n text bytes.
int bits_for(size_t text_bytes)
{
    return static_cast<int>(8 * (4 + text_bytes));
}

struct PersonalCase {
    const char* name;
    const char* type;   // "04" or "0C"
    std::string digits; // hex text
    int bits;           // sdslength of the header
    int msg;            // what is held
    std::string held;   // datagram released to the reflector, or text for the dtmf file
};

} // namespace

class TextSds : public HandlerTest {};

TEST_F(TextSds, PersonalTextsAreAcknowledgedHeldAndReleasedOnConfirmation)
{
    const std::string reply_text = "MERIDIAN-LINK:PC:\rALPHA:hi";
    const std::vector<PersonalCase> cases = {
        {"lower-case pc", "04", hex_of("pc:hello"), bits_for(8), 1, "::TEST-GW;1234567;PC:hello;\n"},
        {"820C like 8204", "0C", hex_of("pc:hello"), bits_for(8), 1, "::TEST-GW;1234567;PC:hello;\n"},
        {"DN", "04", hex_of("DN:91#"), bits_for(6), 3, "::TEST-GW;1234567;DN:91#;\n"},
        {"RG", "0C", hex_of("rg:x"), bits_for(4), 4, "::TEST-GW;1234567;RG:x;\n"},
        {"reply", "04", hex_of(reply_text), bits_for(reply_text.size()), 1, "::TEST-GW;1234567;PC:ALPHA:hi;\n"},
        {"bare reply header", "04", hex_of("MERIDIAN-LINK:PC:\r"), bits_for(18), 1, "::TEST-GW;1234567;PC:;\n"},
        {"two letters without colon", "04", hex_of("DNx"), bits_for(3), 2, "DNX"},
        {"plain text", "04", hex_of("hello"), bits_for(5), 2, "HELlo"},
        {"empty text", "04", "", 32, 2, ""},
        {"16-bit units", "04", "00500043003A00680069", bits_for(10), 1, "::TEST-GW;1234567;PC:hi;\n"},
        {"cut to announced length", "04", hex_of("pc:hello"), bits_for(4), 1, "::TEST-GW;1234567;PC:h;\n"},
        {"announced past the line", "04", hex_of("pc:hi"), bits_for(40), 1, "::TEST-GW;1234567;PC:hi;\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unlink(dtmf_path.c_str());
        sdslength = c.bits;
        set_line(personal_line(c.type, "1A", c.digits));
        std::string console = captured([] { handle_personal_text(); });

        EXPECT_EQ(radio_bytes(), "AT+CTSDS=12,0\rAT+CMGS=1234567,32\r8210001A\x1a");
        EXPECT_EQ(msg, c.msg);
        EXPECT_EQ(reflector_next(), "") << "nothing leaves before the confirmation";
        EXPECT_FALSE(file_exists(dtmf_path));
        EXPECT_EQ(console, "") << "composing prints nothing";

        set_line("+CMGS: 0,4,26\r");
        console = captured([] { handle_confirmation(); });
        EXPECT_EQ(msg, 0);
        if (c.msg == 2) {
            EXPECT_EQ(read_file(dtmf_path), c.held);
            EXPECT_TRUE(file_exists(dtmf_path));
            EXPECT_EQ(reflector_next(), "");
        } else {
            EXPECT_EQ(reflector_next(), c.held);
            const char* tag = c.msg == 3 ? "DN->" : c.msg == 4 ? "RG->" : "PC->";
            EXPECT_NE(console.find(tag + c.held + "\n"), std::string::npos) << console;
        }
    }
}

TEST_F(TextSds, PersonalGroupTextIsHeldWithItsCompositionTime)
{
    sdslength = bits_for(5);
    set_line(personal_line("04", "10", hex_of("gc:hi")));
    captured([] { handle_personal_text(); }); // the acknowledgement takes one second
    virtual_clock_advance_us(60LL * 1000000);
    set_line("+CMGS: 0,5,1\r");
    captured([] { handle_confirmation(); });
    EXPECT_EQ(reflector_next(), "TEST-GW,Test,05.12.2025 18:40:01,NO USER,GC,#0,1234567,,GC:hi,\n");
}

TEST_F(TextSds, ReportsComposedMeanwhileDoNotReplaceTheHeldForward)
{
    sdslength = bits_for(8);
    set_line(personal_line("04", "11", hex_of("PC:hello")));
    captured([] { handle_personal_text(); });

    set_line("8200" "12" "01" + hex_of("GC:all") + "\r");
    captured([] { handle_group_text(); });
    set_line("+GIU: 0,01234567\r");
    captured([] { handle_ptt_on(); });
    set_line("038013160A2F00000000000066" "3A987654" "109E60F0" "000000" "5620" "\r");
    captured([] { handle_position(); });
    for (const char* kind : {",GC,", ",VOICE,", ",GPS,"})
        EXPECT_NE(reflector_next().find(kind), std::string::npos) << kind;

    set_line("+CMGS: 0,4,17\r");
    captured([] { handle_confirmation(); });
    EXPECT_EQ(reflector_next(), "::TEST-GW;1234567;PC:hello;\n");
}

TEST_F(TextSds, OnlyTheTwoConfirmationPrefixesRelease)
{
    struct Case {
        const char* line;
        bool releases;
    } cases[] = {
        {"+CMGS: 0,5,3\r", true},
        {"+CMGS: 0,4,\r", true},
        {"+CMGS: 0,3,1\r", false},
        {"+CMGS: 1,4,1\r", false},
        {"+CMGS: 0,4\r", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        sdslength = bits_for(4);
        set_line(personal_line("04", "20", hex_of("PC:a")));
        captured([] { handle_personal_text(); });
        set_line(c.line);
        captured([] { handle_confirmation(); });
        EXPECT_EQ(reflector_next(), c.releases ? "::TEST-GW;1234567;PC:a;\n" : "");
        EXPECT_EQ(msg, c.releases ? 0 : 1);
        msg = 0;
    }
    // Nothing held: the confirmation only clears msg, and a second one sends nothing again.
    set_line("+CMGS: 0,4,1\r");
    captured([] { handle_confirmation(); });
    EXPECT_EQ(reflector_next(), "");
    EXPECT_EQ(msg, 0);
}

TEST_F(TextSds, GroupTextsAreForwardedAtOnce)
{
    struct Case {
        const char* name;
        std::string digits;
        std::string datagram; // to the reflector, "" for none
        std::string console;  // expected console text
    } cases[] = {
        {"GC", hex_of("GC:hi"), std::string("TEST-GW,Test,") + START_TIME + ",NO USER,GC,#0,1234567,,GC:hi,\n",
         std::string("GC->TEST-GW,Test,") + START_TIME + ",NO USER,GC,#0,1234567,,GC:hi,\n\n"},
        {"RG", hex_of("RG:x"), "::TEST-GW;1234567;RG:x;\n", "RG->::TEST-GW;1234567;RG:x;\n\n"},
        {"DN", hex_of("DN:9#"), "::TEST-GW;1234567;DN:9#;\n", "DN->::TEST-GW;1234567;DN:9#;\n\n"},
        {"lower-case pc", hex_of("pc:y"), "::TEST-GW;1234567;PC:y;\n", "PC->::TEST-GW;1234567;PC:y;\n\n"},
        {"16-bit units", "00470043003A0061",
         std::string("TEST-GW,Test,") + START_TIME + ",NO USER,GC,#0,1234567,,GC:a,\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        msg = 2; // a held personal text stays held
        set_line("8200" "33" "01" + c.digits + "\r");
        std::string console = captured([] { handle_group_text(); });
        EXPECT_EQ(reflector_next(), c.datagram);
        if (!c.console.empty()) {
            ASSERT_GT(console.size(), 20u);
            EXPECT_EQ(console.substr(20), c.console); // after the console prefix
        }
        EXPECT_EQ(msg, 2);
        EXPECT_EQ(radio_bytes(), "") << "group texts are not acknowledged";
    }
}

TEST_F(TextSds, OtherGroupTextsReachTheVoiceGatewayAfterSixSeconds)
{
    struct Case {
        const char* name;
        std::string digits;
        std::string file;
    } cases[] = {
        {"plain", hex_of("hello"), "HELlo"},
        {"reply header is no reply in a group", hex_of("MERIDIAN-LINK:PC:\rX"), "MERIDIAN-LINK:PC:\rX"},
        {"odd digit count ends on the lone digit", "414", "A\x04"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unlink(dtmf_path.c_str());
        long long slept = 0;
        bool written_before_wait = true;
        virtual_clock_on_sleep([&](long long us) {
            slept += us;
            written_before_wait = file_exists(dtmf_path);
        });
        set_line("8200" "40" "01" + c.digits + "\r");
        captured([] { handle_group_text(); });
        virtual_clock_on_sleep(nullptr);
        EXPECT_EQ(slept, 6LL * 1000000);
        EXPECT_FALSE(written_before_wait);
        EXPECT_EQ(read_file(dtmf_path), c.file);
        EXPECT_EQ(reflector_next(), "");
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
    line += "\r";
    for (int bits : {INT_MAX, INT_MIN, 1 << 20}) {
        SCOPED_TRACE(bits);
        sdslength = bits;
        set_line(line);
        captured([] { handle_personal_text(); });
        EXPECT_LT(strnlen(sendtext, sizeof sendtext), sizeof sendtext);
        radio_bytes();
    }
    set_line("82" "00" "01" "01" + std::string(DATA_SIZE - 10, '4') + "\r");
    unlink(dtmf_path.c_str());
    captured([] { handle_group_text(); });
    // 507 pairs "44", then the pair at the CR ends the text.
    EXPECT_EQ(read_file(dtmf_path), std::string((DATA_SIZE - 10) / 2, 'D'));
}
