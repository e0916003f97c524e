// The companion tools' escapes: what a session file or a typed line means in
// bytes, and its display, which must read back as the same bytes.
#include <gtest/gtest.h>

#include <string>

#include "escape.h"

namespace {

TEST(Escape, EveryByteRoundTrips)
{
    std::string all;
    for (int b = 0; b < 256; b++)
        all += static_cast<char>(b);
    for (const std::string& bytes : {all, all + " ", std::string("\\x41\\"), std::string("  ")}) {
        EXPECT_EQ(unescape(visible(bytes)), bytes);
        EXPECT_EQ(unescape(session_text(bytes)), bytes);
    }
    std::string shown = visible(all);
    EXPECT_EQ(shown.find_first_of(std::string("\r\n\t\0\x7F", 5)), std::string::npos);
}

TEST(Escape, Texts)
{
    const struct {
        std::string in, out;
    } unescaped[] = {
        {"a\\r\\n\\t\\\\b", "a\r\n\t\\b"},
        {"\\0", std::string(1, '\0')},
        {"\\x41\\x7e", "A~"},
        {"\\x4", "x4"},
        {"\\xZZ", "xZZ"},
        {"\\q", "q"},
        {"end\\", "end\\"},
    };
    for (const auto& c : unescaped)
        EXPECT_EQ(unescape(c.in), c.out) << c.in;

    const struct {
        std::string bytes, visible, session;
    } shown[] = {
        {"hi ", "hi ", "hi\\x20"},
        {" hi", " hi", " hi"},
        {"", "", ""},
        {"\x1B\x7F\xC3\xA4", "\\x1B\\x7F\\xC3\\xA4", "\\x1B\\x7F\\xC3\\xA4"},
        {std::string("\0"
                     "1\r",
                     3),
         "\\01\\r", "\\01\\r"},
    };
    for (const auto& c : shown) {
        EXPECT_EQ(visible(c.bytes), c.visible);
        EXPECT_EQ(session_text(c.bytes), c.session);
    }
    EXPECT_EQ(hex_bytes(std::string("\0\x7F\x80\xFF Az", 7)), "007F80FF20417A");
}

} // namespace
