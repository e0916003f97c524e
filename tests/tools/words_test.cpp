// Word splitting of the tools' command lines: a text argument keeps its own
// blanks after the one that ends the word before it.
#include <gtest/gtest.h>

#include <string>

#include "words.h"

namespace {

TEST(Words, NextWord)
{
    const struct {
        const char *line, *word, *rest;
    } cases[] = {
        {"send 2620001 hi", "send", "2620001 hi"},
        {"   lead", "lead", ""},
        {"text  two blanks kept", "text", " two blanks kept"},
        {"last ", "last", ""},
        {"", "", ""},
        {"    ", "", ""},
        {"a\tb c", "a\tb", "c"},
    };
    for (const auto& c : cases) {
        std::string rest = c.line;
        EXPECT_EQ(next_word(&rest), c.word) << '"' << c.line << '"';
        EXPECT_EQ(rest, c.rest) << '"' << c.line << '"';
    }
}

} // namespace
