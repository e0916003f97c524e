// Field splitting, hex coding and bounded copies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "util/text.h"

TEST(Split, FieldsEmptyFieldsAndLeadingDelimiter)
{
    char line[] = "a,b,,c,";
    struct split sp = split(line, ',');
    ASSERT_EQ(sp.count, 5);
    EXPECT_STREQ(sp.pointers[0], "a");
    EXPECT_STREQ(sp.pointers[1], "b");
    EXPECT_STREQ(sp.pointers[2], "");
    EXPECT_STREQ(sp.pointers[3], "c");
    EXPECT_STREQ(sp.pointers[4], "");
    EXPECT_EQ(sp.pointers[1], line + 2); // points into the buffer, delimiters now NUL

    char lead[] = ",abc";
    EXPECT_EQ(split(lead, ',').count, 1);
    EXPECT_STREQ(lead, ",abc");

    char empty[] = "";
    EXPECT_EQ(split(empty, ',').count, 1);
}
