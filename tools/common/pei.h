// The radio's side of the PEI, as the radio simulator and the session player
// play it: the gateway's bytes cut into AT commands and SDS PDUs, and the
// answers a radio gives them.
#pragma once
#include <string>

constexpr char PEI_CR = '\r';
constexpr char PEI_CTRL_Z = 26; // ends an SDS PDU
constexpr const char* PEI_OK = "OK\r\n";
constexpr const char* PEI_ERROR = "ERROR\r\n";

enum pei_unit { PEI_NONE, PEI_COMMAND, PEI_PDU };

// What the gateway has written so far of its current command or PDU.
struct pei_input {
    std::string pending;
    bool in_pdu = false; // after "AT+CMGS=": bytes up to Ctrl-Z are the PDU
};

// Feeds one byte the gateway wrote. Returns PEI_COMMAND when a CR ends an AT
// command, PEI_PDU when a Ctrl-Z ends a PDU, else PEI_NONE; on an end, *unit
// gets its bytes with the terminator and *announced whether an "AT+CMGS="
// came before it (a PDU the radio was told of).
pei_unit pei_feed(pei_input* in, char byte, std::string* unit, bool* announced);

// A line that ends the radio's answer to a command: OK, ERROR, +CME ERROR, +CMS ERROR.
bool pei_final_result(const std::string& line);

// The unit without its terminator, CR and LF: the command or PDU as text.
std::string pei_text(const std::string& unit);

// The message reference a text PDU carries (SDS-TL "8204"/"8200"/"820C",
// then two hex digits); 0 when the PDU has none.
int pei_text_reference(const std::string& pdu, unsigned* reference);

// An SDS-TL report with delivery status 00: the acknowledgement of a text
// the radio received.
bool pei_is_acknowledgement(const std::string& pdu);

// The radio's report that a PDU went out under reference.
std::string pei_sent_report(unsigned reference);
