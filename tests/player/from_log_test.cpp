// --from-log's reading of console lines: what a line shows for certain
// becomes a session line, and what it leaves open a comment.
#include <gtest/gtest.h>

#include "from_log.h"

namespace {

TEST(FromLog, EachLineForWhatItShows)
{
    const struct {
        const char* log;
        const char* line; // a line the session must hold
    } cases[] = {
        {"Reading file c\nSYS_SERPORT=/dev/ttyUSB0\nA=1\nREFLECTOR_IP:1.2.3.4\n", "config A=1"},
        {"Reading file c\nA=1\nREFLECTOR_DNS r: no answer (no network yet?), starting without the reflector\n"
         "<07.12.26 14:03:59> data (05/1): 80E8\n",
         "radio 80E8"},
        {"<6><07.12.26 14:03:59> data (05/1): 80E8\n", "radio 80E8"}, // journal priority, CR lost on a terminal
        {"<07.12.26 14:03:59> data (04/0): ATZ\r\n<07.12.26 14:03:59> data (03/0): OK\r\n", "sent ATZ\\r"},
        {"<07.12.26 14:03:59> data (04/0): ATZ\r\n<07.12.26 14:03:59> data (03/0): OK\r\n",
         "console data (03/0): OK\\r"},
        {"<07.12.26 14:03:59> data (03/0): OK\r\n", "radio OK"}, // nothing was written: no answer
        {"<07.12.26 14:03:59> data (04/0): A\x1A\x42\r\n", "sent A\\x1A"},
        {"<07.12.26 14:03:59> x\n<07.12.26 14:04:02> ::N;A;PC:1:hi;\n", "wait 3s"},
        {"<07.12.26 14:03:59> PC->::GW;1;PC:hi;\n\n", "datagram ::GW;1;PC:hi;\\n"},
        {"<07.12.26 14:03:59> PC->::GW;1;PC:hi\n<07.12.26 14:03:59> x\n",
         "# A forward the log may not show whole: PC->::GW;1;PC:hi"},
        {"<07.12.26 14:03:59> SENDTEXT 8200 GC: a b 6\n\n", "after 6s file /tmp/dtmf_ctrl a b"},
        {"<07.12.26 14:03:59> PTT ON: O\n<07.12.26 14:03:59> Cannot write /tmp/ptt: Permission denied\n",
         "# file /tmp/ptt O   (not written: Cannot write /tmp/ptt: Permission denied)"},
        // A radio session's start makes the gateway initialise the radio, and
        // the OK after it answers; "+CTGS: 1,1" and "1,0" start none.
        {"SYS_HARDWARE type recognized\n<07.12.26 14:03:59> data (06/0): ERROR\r\n"
         "<07.12.26 14:03:59> data (11/0): +CTGS: 0,1\r\n<07.12.26 14:03:59> data (03/0): OK\r\n",
         "console data (03/0): OK\\r"},
        {"SYS_HARDWARE type recognized\n<07.12.26 14:03:59> data (06/0): ERROR\r\n"
         "<07.12.26 14:03:59> data (11/0): +CTGS: 1,1\r\n<07.12.26 14:03:59> data (03/0): OK\r\n",
         "radio OK"},
        {"SYS_HARDWARE type recognized\n<07.12.26 14:03:59> data (06/0): ERROR\r\n"
         "<07.12.26 14:03:59> data (11/0): +CTGS: 1,0\r\n<07.12.26 14:03:59> data (03/0): OK\r\n",
         "radio OK"},
        {"<07.12.26 14:03:59> got status -> 61005 \n", "console got status -> 61005\\x20"},
    };
    for (const auto& c : cases) {
        std::string session = "\n" + session_from_log(c.log, "t.log");
        EXPECT_NE(session.find(std::string("\n") + c.line + "\n"), std::string::npos) << c.line << "\n" << session;
        EXPECT_EQ(session.find("SYS_SERPORT"), std::string::npos);
    }
}

} // namespace
