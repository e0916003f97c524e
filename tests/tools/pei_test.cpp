// The radio's side of the PEI: how the gateway's bytes are cut into AT
// commands and SDS PDUs. Every "sent" line of a session is judged on these
// cuts; the radio's answers built on them are played by every session.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pei.h"

namespace {

// One cut: 'C' command or 'P' PDU, with '+' when an AT+CMGS= announced it.
std::vector<std::string> cuts(const std::string& bytes)
{
    pei_input in;
    std::vector<std::string> out;
    for (char byte : bytes) {
        std::string unit;
        bool announced = false;
        pei_unit kind = pei_feed(&in, byte, &unit, &announced);
        if (kind != PEI_NONE)
            out.push_back(std::string(kind == PEI_COMMAND ? "C" : "P") + (announced ? "+" : "") + ":" + unit);
    }
    if (!in.pending.empty())
        out.push_back("pending:" + in.pending);
    return out;
}

TEST(PeiFeed, CutsCommandsAndPdus)
{
    const std::string pdu = "8204A10148656C6C6F\x1A";
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::string> expected;
    } cases[] = {
        {"command", "ATE0\r", {"C:ATE0\r"}},
        {"LF after CR starts the next unit", "AT\r\nAT\r", {"C:AT\r", "C:\nAT\r"}},
        {"unfinished command waits", "AT+CTSP", {"pending:AT+CTSP"}},
        {"announced PDU", "AT+CMGS=2620001,1,0,72\r" + pdu, {"C:AT+CMGS=2620001,1,0,72\r", "P+:" + pdu}},
        {"announcement in lower case", "at+cmgs=1,1,0,8\r82\x1A", {"C:at+cmgs=1,1,0,8\r", "P+:82\x1A"}},
        {"CR inside an announced PDU does not end it",
         "AT+CMGS=1,1,0,8\r82\r04\x1A",
         {"C:AT+CMGS=1,1,0,8\r", "P+:82\r04\x1A"}},
        {"PDU without announcement", pdu, {"P:" + pdu}},
        {"only the next PDU is announced",
         "AT+CMGS=1,1,0,8\r82\x1A"
         "AT\r83\x1A",
         {"C:AT+CMGS=1,1,0,8\r", "P+:82\x1A", "C:AT\r", "P:83\x1A"}},
        {"a command after AT+CMGS= is PDU bytes",
         "AT+CMGS=1,1,0,8\rAT\r82\x1A",
         {"C:AT+CMGS=1,1,0,8\r", "P+:AT\r82\x1A"}},
        {"AT+CMGS without = announces nothing", "AT+CMGS?\r82\x1A", {"C:AT+CMGS?\r", "P:82\x1A"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cuts(c.bytes), c.expected) << c.name;
}

} // namespace
