// The SDS-TL text PDU as the PEI carries it in hex digits: "82" (SDS-TL),
// the message type (2 digits), the message reference (2), the text coding
// "01", then the text. One layout, both for the texts the gateway sends and
// for those it reads back from radios, and the SDS-REPORT that acknowledges
// a received text.
#pragma once
#include <cstddef>

// Protocol and message type digits of the PDUs the gateway knows.
constexpr char TEXT_PDU_PERSONAL[] = "8204";          // SDS-TRANSFER, receipt report requested
constexpr char TEXT_PDU_PERSONAL_CONSUMED[] = "820C"; // SDS-TRANSFER, receipt and consumed report requested
constexpr char TEXT_PDU_GROUP[] = "8200";             // SDS-TRANSFER, no report requested

// Digits before the text: type, reference and coding.
constexpr int TEXT_PDU_HEADER_DIGITS = 8;
// Digits of the message reference; it is also what an acknowledgement echoes.
constexpr int TEXT_PDU_REFERENCE_DIGITS = 2;

// Writes the header of type (one of the above) with reference (0 to 255) as
// two uppercase hex digits: "8204" "1A" "01".
void text_pdu_header(char* out, size_t size, const char* type, unsigned reference);

// The SDS-REPORT below with its NUL.
constexpr int TEXT_PDU_REPORT_SIZE = 9;

// Writes the SDS-REPORT "receipt acknowledged" for the message reference
// (its first two characters, as received): "82" "10" "00" + reference.
void text_pdu_report(char* out, size_t size, const char* reference);

// Copies the message reference of pdu into out (two characters and a NUL);
// false, and out untouched, when pdu lacks two hex digits there.
bool text_pdu_reference(const char* pdu, char* out, size_t size);

// The text digits a header's announced length in bits holds: the length
// counts the whole PDU, header included.
int text_pdu_announced_digits(int bits);

// Decodes the first digits text digits of pdu (a line ended by CR or NUL)
// into out, as decodehex does: a text beginning "00" is read in 16-bit
// units, and nothing is read past the line's end or written past out_size.
// A pdu no longer than its header has no text.
void text_pdu_decode(const char* pdu, int digits, char* out, size_t out_size);
