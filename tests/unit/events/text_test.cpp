// Text SDS reception: decoding windows and their bounds, and the held
// forwards' queue.
#include "unit/fixture.h"

namespace {

// A text payload line: "82", message type, reference, coding, the hex text.
std::string text_line(const std::string& type, const std::string& digits)
{
    return "82" + type + "1A01" + digits + "\r";
}

// The sender the fixture's SDS header named.
constexpr char SENDER[] = "1234567";

// Handlers as the dispatcher calls them after that header.
auto personal_text(int header_bits)
{
    return [header_bits](const char* line) { handle_personal_text(line, header_bits, SENDER); };
}

using TextSds = RadioTest;

TEST_F(TextSds, PersonalTextWindowComesFromTheAnnouncedLength)
{
    const struct {
        const char* name;
        std::string digits;
        int bytes; // text bytes the header announces
        std::string text;
    } cases[] = {
        {"cut to the announced length", hex_bytes("pc:hello"), 4, "PC:h"},
        {"announced past the line", hex_bytes("pc:hi"), 40, "PC:hi"},
        {"16-bit units", "00500043003A00680069", 10, "PC:hi"},
    };
    for (const auto& c : cases) {
        handle(text_line("04", c.digits), personal_text(8 * (4 + c.bytes))); // 4 header bytes
        release_held_forwards();
        EXPECT_EQ(reflector_next(), "::TEST-GW;1234567;" + c.text + ";\n") << c.name;
    }
    // Longest line the reader delivers, in 16-bit units, with an announced
    // length far beyond it: the window must stop at both buffers' ends.
    std::string line = "8204"
                       "01"
                       "01";
    while (line.size() < DATA_SIZE - 2)
        line += "0041";
    line.resize(DATA_SIZE - 2);
    for (int bits : {INT_MAX, INT_MIN, 1 << 20}) {
        handle(line + "\r", personal_text(bits));
        release_held_forwards(); // a plain text: to the voice gateway
        EXPECT_EQ(read_file(dtmf_path), std::string(bits > 0 ? (DATA_SIZE - 2 - 8) / 4 : 0, 'A')) << bits;
    }
}

// A full queue of held forwards sends its oldest at once: late, never lost.
TEST_F(TextSds, AFullHeldQueueForwardsItsOldestAtOnce)
{
    for (int i = 0; i <= HELD_FORWARDS_MAX; i++)
        handle(text_line("04", hex_bytes("PC:" + std::to_string(i))), personal_text(8 * (4 + 4)));
    EXPECT_EQ(reflector_next(), "::TEST-GW;1234567;PC:0;\n");
    EXPECT_EQ(reflector_next(), "");
    release_held_forwards();
    for (int i = 1; i <= HELD_FORWARDS_MAX; i++)
        EXPECT_EQ(reflector_next(), "::TEST-GW;1234567;PC:" + std::to_string(i) + ";\n");
}

} // namespace
