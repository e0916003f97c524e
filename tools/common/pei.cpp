// The radio's side of the PEI: command and PDU framing, and its answers.
#include "pei.h"

#include <cctype>
#include <cstdlib>

namespace {
std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}
} // namespace

pei_unit pei_feed(pei_input* in, char byte, std::string* unit, bool* announced)
{
    in->pending += byte;
    if (byte != PEI_CTRL_Z && (byte != PEI_CR || in->in_pdu))
        return PEI_NONE;
    *unit = in->pending;
    in->pending.clear();
    *announced = in->in_pdu;
    bool command = byte == PEI_CR;
    in->in_pdu = command && upper(pei_text(*unit)).rfind("AT+CMGS=", 0) == 0;
    return command ? PEI_COMMAND : PEI_PDU;
}

bool pei_final_result(const std::string& line)
{
    return line == "OK" || line.rfind("ERROR", 0) == 0 || line.rfind("+CME ERROR", 0) == 0 ||
           line.rfind("+CMS ERROR", 0) == 0;
}

std::string pei_text(const std::string& unit)
{
    std::string text;
    for (char c : unit)
        if (c != '\r' && c != '\n' && c != PEI_CTRL_Z)
            text += c;
    return text;
}

int pei_text_reference(const std::string& pdu, unsigned* reference)
{
    std::string up = upper(pdu);
    bool text = up.rfind("8204", 0) == 0 || up.rfind("8200", 0) == 0 || up.rfind("820C", 0) == 0;
    if (!text || up.size() < 6 || !isxdigit(static_cast<unsigned char>(up[4])) ||
        !isxdigit(static_cast<unsigned char>(up[5])))
        return 0;
    *reference = static_cast<unsigned>(strtoul(up.substr(4, 2).c_str(), nullptr, 16));
    return 1;
}

bool pei_is_acknowledgement(const std::string& pdu)
{
    return pdu.rfind("821000", 0) == 0;
}

std::string pei_sent_report(unsigned reference)
{
    return "+CMGS: 0,4," + std::to_string(reference) + "\r\n";
}
