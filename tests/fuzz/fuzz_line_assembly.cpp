// Fuzz target: line assembly (assemble_byte) fed the input as the bytes the
// radio sends, checked against the line rules: LF dropped, every other byte
// kept (NUL included), the excess of a long line dropped up to its CR, and a
// CR completing the line. The first byte picks the line buffer's size, so
// the length bound is met at short lengths too; the buffer is exactly that
// size on the heap, so AddressSanitizer sees any write past it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "radio/serial.h"
#include "util/control_chars.h"

namespace {

// Sizes below this are picked from the first byte; its high bit picks the
// reader's own size, LINE_MAX_BYTES and the NUL.
constexpr size_t SMALL_SIZES = 64;
constexpr unsigned char READER_SIZE_BIT = 0x80;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size == 0)
        return 0;
    size_t line_size = bytes[0] & READER_SIZE_BIT ? LINE_MAX_BYTES + 1 : 2 + bytes[0] % SMALL_SIZES;
    std::vector<char> line(line_size, '\0');
    std::string expected; // what the line must hold so far
    int position = 0;
    for (size_t i = 1; i < size; i++) {
        char byte = static_cast<char>(bytes[i]);
        if (byte != LF && (byte == CR || expected.size() < line_size - 2))
            expected += byte;
        int complete = assemble_byte(line.data(), line.size(), &position, byte);
        fuzz_check(position >= 0 && static_cast<size_t>(position) == expected.size(), "position counts the bytes kept");
        fuzz_check(static_cast<size_t>(position) < line_size, "the line leaves room for its NUL");
        fuzz_check(memcmp(line.data(), expected.data(), expected.size()) == 0, "the line holds the bytes kept");
        fuzz_check(position == 0 || line[static_cast<size_t>(position)] == '\0', "the line is terminated");
        fuzz_check(complete == (byte == CR), "exactly a CR completes the line");
        if (complete) {
            // The serial thread starts every line on a zero-filled buffer.
            std::fill(line.begin(), line.end(), '\0');
            expected.clear();
            position = 0;
        }
    }
    return 0;
}
