// Fuzz target: the LIP position decoder. The input is "<bits>\n<payload>":
// the SDS length the "+CTSDSR:" header announced, read as the dispatcher
// reads it (atoi), and the payload line; without a line feed the whole input
// is the payload and the header announces all its digits. The payload is a
// text exactly its size on the heap, so AddressSanitizer sees a read past it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formats/lip.h"
#include "fuzz_support.h"

namespace {

constexpr int BITS_PER_DIGIT = 4;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    std::string input = fuzz_text(bytes, size);
    size_t newline = input.find('\n');
    std::string payload = newline == std::string::npos ? input : input.substr(newline + 1);
    int header_bits = newline == std::string::npos ? static_cast<int>(payload.size()) * BITS_PER_DIGIT
                                                   : atoi(input.substr(0, newline).c_str());
    char* text = strdup(payload.c_str());
    lip_report report;
    lip_result result = lip_decode(text, header_bits, &report);
    free(text);

    fuzz_check(strcmp(lip_result_text(result), "unknown") != 0, "the result is one of the reasons");
    if (result == LIP_DECODED) {
        fuzz_check(std::fabs(report.latitude) <= 90 && std::fabs(report.longitude) <= 180, "the position is on Earth");
        double course = lip_course_degrees(&report);
        fuzz_check(course >= 0 && course < 360, "the course is within a turn");
        double kmh = lip_velocity_kmh(report.velocity);
        fuzz_check(kmh == -1.0 || (kmh >= 0 && std::isfinite(kmh)), "the velocity is known or unknown");
    }
    return 0;
}
