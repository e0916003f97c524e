// The pure decoders of what reaches the gateway: reflector datagrams, the
// hex coding of SDS payloads, LIP and "038013" position reports, and the
// text SDS a radio user sends.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "formats/fix_report.h"
#include "formats/lip.h"
#include "formats/text_pdu.h"
#include "net/reflector_messages.h"
#include "util/text.h"

namespace {

// A text of the length radio users typically send (one SMS-sized message).
const std::string TEXT = "Meeting at eight on the usual channel, bring the spare battery and the long antenna please!!"
                         "Reply PC: with your ETA, 73 de the net control station, over and out.";

std::string hex_of(const std::string& text)
{
    std::string hex(2 * text.size() + 1, '\0');
    encodehex(text.data(), static_cast<int>(text.size()), hex.data(), hex.size());
    hex.resize(2 * text.size());
    return hex;
}

void BM_ReflectorDatagram(benchmark::State& state)
{
    const std::string datagram = "::DAPNET;DL1ABC;PC:2620001:" + TEXT;
    reflector_request request;
    for (auto _ : state) {
        benchmark::DoNotOptimize(reflector_message_parse(datagram.data(), datagram.size(), &request));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ReflectorDatagram);

void BM_HexEncode(benchmark::State& state)
{
    char hex[2 * SBUFF_SIZE];
    for (auto _ : state) {
        encodehex(TEXT.data(), static_cast<int>(TEXT.size()), hex, sizeof hex);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(TEXT.size()));
}
BENCHMARK(BM_HexEncode);

void BM_HexDecode(benchmark::State& state)
{
    const std::string hex = hex_of(TEXT);
    char text[SBUFF_SIZE];
    for (auto _ : state) {
        decodehex(hex.c_str(), static_cast<int>(hex.size()), text, sizeof text);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(TEXT.size()));
}
BENCHMARK(BM_HexDecode);

// A Motorola MTP850's short location report, with the header's 84 bits.
void BM_LipDecode(benchmark::State& state)
{
    const char payload[] = "0A00893E12472C51026810\r";
    lip_report report;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lip_decode(payload, 84, &report));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LipDecode);

void BM_FixReportDecode(benchmark::State& state)
{
    const char payload[] = "038013190A2F00000000000066"
                           "3A987654109E60F0810000"
                           "5620\r";
    fix_report report;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fix_decode(payload, 4 * static_cast<int>(strlen(payload)), &report));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FixReportDecode);

// A personal text as the radio hands it over: its reference, then the text
// in the window the header announces.
void BM_TextSdsDecode(benchmark::State& state)
{
    char header[16];
    text_pdu_header(header, sizeof header, TEXT_PDU_PERSONAL, 0x1A);
    const std::string line = header + hex_of(TEXT) + "\r";
    const int bits = 4 * static_cast<int>(line.size() - 1);
    char reference[TEXT_PDU_REFERENCE_DIGITS + 1];
    char text[SBUFF_SIZE];
    for (auto _ : state) {
        benchmark::DoNotOptimize(text_pdu_reference(line.c_str(), reference, sizeof reference));
        text_pdu_decode(line.c_str(), text_pdu_announced_digits(bits), text, sizeof text);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(TEXT.size()));
}
BENCHMARK(BM_TextSdsDecode);

} // namespace
