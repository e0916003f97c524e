// The radio's side of the PEI that the simulator and the player share: how
// the gateway's bytes are cut into commands and PDUs, and the radio's answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pei.h"

namespace {

// Feeds bytes; returns each unit as "C:" or "P:" (announced "P+:") and its text.
std::vector<std::string> units(const std::string& bytes)
{
    pei_input in;
    std::vector<std::string> out;
    for (char c : bytes) {
        std::string unit;
        bool announced = false;
        pei_unit kind = pei_feed(&in, c, &unit, &announced);
        if (kind == PEI_COMMAND)
            out.push_back("C:" + pei_text(unit));
        else if (kind == PEI_PDU)
            out.push_back(std::string(announced ? "P+:" : "P:") + pei_text(unit));
    }
    return out;
}

TEST(Pei, CommandsAndPdus)
{
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::string> units;
    } cases[] = {
        {"commands end at CR", "ATZ\rATE0\r", {"C:ATZ", "C:ATE0"}},
        {"a PDU after AT+CMGS= ends at Ctrl-Z, CRs inside kept in it",
         "AT+CMGS=1234567,32\r8204\r01\x1a",
         {"C:AT+CMGS=1234567,32", "P+:820401"}},
        {"lower case and an LF still announce", "\nat+cmgs=1,8\r82\x1a", {"C:at+cmgs=1,8", "P+:82"}},
        {"a Ctrl-Z without AT+CMGS= is an unannounced PDU", "8204\x1a", {"P:8204"}},
        {"after the PDU, commands again",
         "AT+CMGS=1,8\r82\x1a"
         "ATZ\r",
         {"C:AT+CMGS=1,8", "P+:82", "C:ATZ"}},
        {"an unfinished command is no unit", "AT+CTSP", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(units(c.bytes), c.units) << c.name;
}

TEST(Pei, Answers)
{
    unsigned ref = 0;
    EXPECT_TRUE(pei_text_reference("8204A701", &ref));
    EXPECT_EQ(ref, 0xA7u);
    EXPECT_TRUE(pei_text_reference("820c1f", &ref));
    EXPECT_EQ(ref, 0x1Fu);
    EXPECT_FALSE(pei_text_reference("8204G1", &ref));
    EXPECT_FALSE(pei_text_reference("821000A7", &ref)) << "a report carries no text reference";
    EXPECT_TRUE(pei_is_acknowledgement("821000A7"));
    EXPECT_FALSE(pei_is_acknowledgement("8210"));
    EXPECT_EQ(pei_sent_report(12), "+CMGS: 0,4,12\r\n");
}

} // namespace
