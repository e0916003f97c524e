// Text SDS PDU layout: header offsets, reference and the text window.
#include "formats/text_pdu.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "util/text.h"

namespace {

constexpr int REFERENCE_START = 4;
constexpr int NIBBLE_BITS = 4;
// "82" SDS-TL, "10" SDS-REPORT, "00" receipt acknowledged.
constexpr char REPORT_RECEIVED[] = "821000";
constexpr char CODING_TEXT[] = "01";

bool is_hex(char c)
{
    return isxdigit(static_cast<unsigned char>(c)) != 0;
}

} // namespace

void text_pdu_header(char* out, size_t size, const char* type, unsigned reference)
{
    snprintf(out, size, "%s%02X%s", type, reference, CODING_TEXT);
}

void text_pdu_report(char* out, size_t size, const char* reference)
{
    snprintf(out, size, "%s%.2s", REPORT_RECEIVED, reference);
}

bool text_pdu_reference(const char* pdu, char* out, size_t size)
{
    const char* ref = pdu + REFERENCE_START;
    if (strnlen(pdu, REFERENCE_START + TEXT_PDU_REFERENCE_DIGITS) < REFERENCE_START + TEXT_PDU_REFERENCE_DIGITS ||
        !is_hex(ref[0]) || !is_hex(ref[1]))
        return false;
    snprintf(out, size, "%2.2s", ref);
    return true;
}

int text_pdu_announced_digits(int bits)
{
    return bits / NIBBLE_BITS - TEXT_PDU_HEADER_DIGITS;
}

void text_pdu_decode(const char* pdu, int digits, char* out, size_t out_size)
{
    size_t len = strlen(pdu);
    const char* text = len > static_cast<size_t>(TEXT_PDU_HEADER_DIGITS) ? pdu + TEXT_PDU_HEADER_DIGITS : "";
    decodehex(text, digits, out, out_size);
}
