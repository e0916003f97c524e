// Fuzz target: the hex coding of SDS payloads. The first byte picks the
// output buffer's size, the second shifts the length decodehex is given
// against the text's own; the rest is the data. Every output buffer is exactly
// its size on the heap, so AddressSanitizer sees a write past it. A text that
// does not begin with a NUL byte comes back unchanged through encodehex and
// decodehex (one that does is read back as 16-bit units, by design).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "util/text.h"

namespace {

constexpr size_t CONTROL_BYTES = 2;
// The size byte's values from this on mean "exactly big enough".
constexpr unsigned char EXACT_SIZE = 0xF0;

bool uppercase_hex(const char* text)
{
    return strspn(text, "0123456789ABCDEF") == strlen(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size < CONTROL_BYTES)
        return 0;
    const char* in = reinterpret_cast<const char*>(bytes + CONTROL_BYTES);
    int len = static_cast<int>(size - CONTROL_BYTES);
    size_t n = static_cast<size_t>(len);
    size_t exact_hex = 2 * n + 1;

    // encodehex: every byte, NULs included, as two uppercase digits.
    size_t hex_size = bytes[0] >= EXACT_SIZE ? exact_hex : bytes[0];
    std::vector<char> hex(hex_size);
    encodehex(in, len, hex.data(), hex.size());
    if (hex_size > 0) {
        size_t written = strnlen(hex.data(), hex_size);
        fuzz_check(written < hex_size, "the hex text is terminated");
        fuzz_check(written == 2 * std::min(n, (hex_size - 1) / 2), "every byte that fits gives two digits");
        fuzz_check(uppercase_hex(hex.data()), "digits are uppercase hex");
    }

    // decodehex on the data as text, with the length shifted by the second byte.
    std::string text(in, strnlen(in, n));
    int shifted = static_cast<int>(text.size()) + static_cast<int8_t>(bytes[1]);
    size_t out_size = bytes[0] >= EXACT_SIZE ? text.size() + 1 : bytes[0];
    std::vector<char> out(out_size);
    decodehex(text.c_str(), shifted, out.data(), out.size());
    if (out_size > 0)
        fuzz_check(memchr(out.data(), '\0', out_size) != nullptr, "the decoded bytes are terminated");

    // The round trip.
    if (n > 0 && in[0] != '\0') {
        std::vector<char> full(exact_hex);
        encodehex(in, len, full.data(), full.size());
        std::vector<char> back(n + 1);
        decodehex(full.data(), 2 * len, back.data(), back.size());
        fuzz_check(memcmp(back.data(), in, n) == 0 && back[n] == '\0', "decodehex undoes encodehex");
    }
    return 0;
}
