// What may be written at a control path, judged from what fstat found: only
// the voice gateway's pseudo-terminal is reached through a link, and never
// another terminal, whatever its permissions would allow.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "control/control_path.h"

namespace {

TEST(ControlPath, JudgedByWhatWasFound)
{
    constexpr dev_t NONE = 0;
    const dev_t radio_pty = makedev(136, 7), login_pty = makedev(136, 0);
    const struct {
        const char* name;
        mode_t type;
        dev_t rdev;
        bool on_devpts;
        bool through_link;
        dev_t radio;
        dev_t own; // the terminal the gateway was started from
        control_kind expected;
    } cases[] = {
        {"pty slave through a link", S_IFCHR, makedev(136, 3), true, true, NONE, NONE, control_kind::terminal},
        {"pty slave of the last major", S_IFCHR, makedev(143, 9), true, true, NONE, NONE, control_kind::terminal},
        {"pty slave named directly", S_IFCHR, makedev(136, 3), true, false, NONE, NONE, control_kind::terminal},
        {"other pty slave beside a pty radio", S_IFCHR, makedev(136, 3), true, true, radio_pty, NONE,
         control_kind::terminal},
        {"the terminal the gateway was started from", S_IFCHR, login_pty, true, true, NONE, login_pty,
         control_kind::refused},
        {"the radio's own pty", S_IFCHR, radio_pty, true, true, radio_pty, NONE, control_kind::refused},
        {"the radio's serial port", S_IFCHR, makedev(188, 0), false, true, makedev(188, 0), NONE,
         control_kind::refused},
        {"pty major off devpts (a node made by mknod)", S_IFCHR, makedev(136, 3), false, true, NONE, NONE,
         control_kind::refused},
        {"/dev/ptmx", S_IFCHR, makedev(5, 2), false, true, NONE, NONE, control_kind::refused},
        {"/dev/pts/ptmx", S_IFCHR, makedev(5, 2), true, true, NONE, NONE, control_kind::refused},
        {"/dev/tty", S_IFCHR, makedev(5, 0), false, true, NONE, NONE, control_kind::refused},
        {"/dev/console", S_IFCHR, makedev(5, 1), false, true, NONE, NONE, control_kind::refused},
        {"/dev/tty1", S_IFCHR, makedev(4, 1), false, true, NONE, NONE, control_kind::refused},
        {"/dev/ttyS0 named directly", S_IFCHR, makedev(4, 64), false, false, NONE, NONE, control_kind::refused},
        {"/dev/ttyAMA0", S_IFCHR, makedev(204, 64), false, true, NONE, NONE, control_kind::refused},
        {"/dev/null", S_IFCHR, makedev(1, 3), false, true, NONE, NONE, control_kind::refused},
        {"block device", S_IFBLK, makedev(8, 0), false, false, NONE, NONE, control_kind::refused},
        {"regular file", S_IFREG, NONE, false, false, NONE, NONE, control_kind::file},
        {"link to a regular file", S_IFREG, NONE, false, true, NONE, NONE, control_kind::refused},
        {"FIFO", S_IFIFO, NONE, false, false, NONE, NONE, control_kind::fifo},
        {"link to a FIFO", S_IFIFO, NONE, false, true, NONE, NONE, control_kind::refused},
        {"directory", S_IFDIR, NONE, false, false, NONE, NONE, control_kind::refused},
        {"link to a directory", S_IFDIR, NONE, false, true, NONE, NONE, control_kind::refused},
        {"socket", S_IFSOCK, NONE, false, false, NONE, NONE, control_kind::refused},
    };
    for (const auto& c : cases) {
        control_found found = {c.type | 0620, c.rdev, c.on_devpts, c.through_link, c.radio, c.own};
        char what[96];
        EXPECT_EQ(judge_control(found, what, sizeof what), c.expected) << c.name << ": " << what;
    }
}

} // namespace
