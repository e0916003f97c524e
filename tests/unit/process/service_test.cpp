// The status line systemd gets with READY=1: what came of each UDP port's
// bind and of the radio port's first open.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "process/service.h"
#include "radio/serial.h"
#include "support/files.h"
#include "util/text.h"

namespace {

TEST(Service, ReadyStatusSaysWhatCameOfEachPort)
{
    saved_global keep_port(piport);
    copy_field(piport, "/dev/ttyUSB0");
    const struct {
        const char* name;
        startup_outcome outcome;
        const char* status;
    } cases[] = {
        {"all well", {0, 0, 1}, "reflector port 5230 bound; local port 54001 bound; radio port /dev/ttyUSB0 open"},
        {"reflector port taken",
         {EADDRINUSE, 0, 1},
         "reflector port 5230 not bound (Address already in use); local port 54001 bound; radio port /dev/ttyUSB0 "
         "open"},
        {"no sockets at all",
         {-1, -1, 1},
         "reflector port 5230 not bound (no socket); local port 54001 not bound (no socket); radio port /dev/ttyUSB0 "
         "open"},
        {"no radio",
         {0, 0, -ENOENT},
         "reflector port 5230 bound; local port 54001 bound; radio port /dev/ttyUSB0 not open (No such file or "
         "directory)"},
        {"stopped before the open",
         {0, 0, 0},
         "reflector port 5230 bound; local port 54001 bound; radio port /dev/ttyUSB0 not tried"},
    };
    for (const auto& c : cases) {
        char status[300];
        format_ready_status(status, sizeof status, c.outcome);
        EXPECT_STREQ(status, c.status) << c.name;
    }
}

} // namespace
