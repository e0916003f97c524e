// The stand-in voice gateway: what a writer sends through the path arrives
// unchanged, and a stalled reader leaves no room for even a short message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "voice_gateway.h"

namespace {

// Writes as the gateway does: through the path, never waiting. The result of write().
ssize_t write_through(const std::string& path, const std::string& text)
{
    int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ssize_t wrote = write(fd, text.data(), text.size());
    close(fd);
    return wrote;
}

TEST(VoiceGatewayStandIn, TerminalAndFifo)
{
    std::string dir = testing::TempDir() + "vg_stand_in";
    std::filesystem::create_directories(dir);
    for (bool terminal : {true, false}) {
        SCOPED_TRACE(terminal ? "terminal" : "fifo");
        std::string path = dir + "/dtmf_ctrl";
        served_path p;
        std::string why;
        ASSERT_TRUE(terminal ? serve_terminal(&p, path, &why) : serve_fifo(&p, path, true, &why)) << why;
        // Raw: a line feed stays a line feed.
        ASSERT_EQ(write_through(path, "a\nb"), 3);
        EXPECT_EQ(read_served(&p), "a\nb");

        ASSERT_TRUE(stall_reader(&p));
        errno = 0;
        EXPECT_EQ(write_through(path, "910#"), -1) << "a stalled reader must leave no room";
        EXPECT_EQ(errno, EAGAIN);
        EXPECT_EQ(read_served(&p), "") << "nothing is read while stalled";

        p.stalled = false;
        EXPECT_EQ(read_served(&p), "") << "the player's own filler is no write";
        ASSERT_EQ(write_through(path, "Z"), 1);
        EXPECT_EQ(read_served(&p), "Z");
        release_served(&p);
    }
    std::filesystem::remove_all(dir);
}

} // namespace
