// The voice gateway's control files: readable by a voice gateway under any
// account, whatever umask the gateway was started with.
#include <gtest/gtest.h>

#include "config/config.h"
#include "util/text.h"
#include "control/voice_gateway.h"
#include "support/files.h"
#include "support/stdout_capture.h"

namespace {

TEST(ControlFiles, CreatedWithMode0644WhateverTheUmask)
{
    std::string path = ::testing::TempDir() + "sdsbridge-ptt-" + std::to_string(getpid());
    saved_global keep(PTT_CTRL_PATH);
    copy_field(PTT_CTRL_PATH, path.c_str());
    mode_t before = umask(077);
    capture_stdout_begin();
    send_svx_ptt("PTT ON:", "O");
    capture_stdout_end();
    umask(before);
    struct stat st = {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(read_file(path), "O");
    unlink(path.c_str());
}

} // namespace
