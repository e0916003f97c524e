// Set-up shared by the SDS transfer and radio event tests: virtual clock, a
// pipe standing in for the radio's serial line, a loopback reflector, a
// scratch DTMF control path (nothing may reach a station's real one), and the
// session as after an SDS header from ISSI 1234567.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "config/config.h"
#include "config/places.h"
#include "events/handlers.h"
#include "events/session.h"
#include "global.h"
#include "radio/sds.h"
#include "radio/serial.h"
#include "radio/turns.h"
#include "support/files.h"
#include "support/loopback.h"
#include "support/radio_line.h"
#include "support/scratch.h"
#include "support/stdout_capture.h"
#include "support/virtual_clock.h"
#include "util/text.h"

struct RadioTest : ::testing::Test {
    virtual_clock_scope clock;
    saved_global<char[PATH_MAX]> keep_dtmf{DTMF_CTRL_PATH};
    saved_global<char[6]> keep_dmo{DMO_REPEATER};
    saved_global<int> keep_wait{SYS_CTOM_WAIT};
    int reflector = reflector_stub_open(), radio = radio_line_open();

    void SetUp() override
    {
        copy_field(DTMF_CTRL_PATH, (std::string(scratch_dir()) + "/dtmf_ctrl").c_str());
        copy_field(DMO_REPEATER, "NO");
        SYS_CTOM_WAIT = 2;
        sds_lfd = 16;
        copy_field(GATEWAY_CALL, "TEST-GW");
        copy_field(GATEWAY_COMMENT, "Test");
        SYS_DEBUG = msg = ptt = 0;
        copy_field(CALL, "NO USER");
        copy_field(CALL_ID, "1234567");
        lastgps = clock_monotonic_s() - 60; // no report sent lately
    }
    void TearDown() override
    {
        close(serport.exchange(-1));
        close(radio);
        reflector_stub_close(reflector);
    }
    // Runs handler on line, zero-filled behind it as the reader leaves it,
    // with the console captured.
    template <typename Handler> static void handle(const std::string& line, Handler handler)
    {
        char buffer[DATA_SIZE] = {};
        line.copy(buffer, sizeof buffer - 1);
        capture_stdout_begin();
        handler(buffer);
        capture_stdout_end();
    }
    // The next datagram at the reflector, "" when none is waiting (a loopback
    // send is queued before sendto returns, so nothing is missed).
    std::string reflector_next() const
    {
        return next_datagram(reflector);
    }
};
