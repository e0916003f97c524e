// The line dispatcher: which actions each kind of radio line calls for.
#include <gtest/gtest.h>

#include "events/dispatch.h"

namespace {

// The lines a radio session rarely shows: prefixes and case are exact, and a
// line's meaning depends on a preceding SDS header and a transmission going on.
TEST(ClassifyLine, Table)
{
    const unsigned P = ACT_PAYLOAD;
    const struct {
        const char* line;
        int sds;
        int ptt;
        unsigned actions;
    } rows[] = {
        {"OKAY\r", 0, 0, ACT_OK},
        {"+CME ERROR: 35\r", 0, 0, ACT_ERROR},
        {"+CME: 1\r", 0, 0, 0},
        {"OK\r", 1, 0, P | ACT_OK},
        {"80E8\r", 0, 0, 0},
        {"820c10016869\r", 1, 0, P},
        {"0A00893E12472C51026810\r", 1, 0, P | ACT_LIP},
        {"0A00893E12472C51026810\r", 0, 0, 0},
        {"0A12\r", 1, 0, P | ACT_STATUS}, // four digits: a status, never LIP
        {"0a00893E12472C51026810\r", 1, 0, P},
        {"+CTSDSR: 12,1,0,2,0,16\r", 1, 0, P | ACT_SDS_HEADER},
        {"+CTGS: 1,2\r", 0, 0, ACT_RESTART},
        {"+CTXG: 2,3,0,0\r", 0, 1, 0},
        {"+CTCR: 1,1\r", 0, 0, ACT_BLANK_AFTER},
    };
    for (const auto& r : rows)
        EXPECT_EQ(classify_line(r.line, r.sds, r.ptt), r.actions) << r.line << " sds " << r.sds << " ptt " << r.ptt;
}

} // namespace
