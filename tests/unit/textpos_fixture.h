// Shared set-up for the tests of the radio event handlers for texts,
// positions and voice activity: virtual clock, a loopback reflector, a socket
// pair standing in for the radio's serial line, and scratch control files.
#pragma once
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/config.h"
#include "config/places.h"
#include "events/session.h"
#include "global.h"
#include "radio/serial.h"
#include "support/capture.h"
#include "support/virtual_clock.h"

// Report time of the virtual clock's start, as the report datagrams carry it.
inline const char* const START_TIME = "05.12.2025 18:40:00";

class HandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        virtual_clock_install();
        reflector = reflector_stub_open();
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        saved_serport = serport.exchange(pair[0]);
        radio = pair[1];
        char dir_template[] = "/tmp/sdsbridge-textpos-XXXXXX";
        ASSERT_NE(mkdtemp(dir_template), nullptr);
        dir = dir_template;
        dtmf_path = dir + "/dtmf_ctrl";
        ptt_path = dir + "/ptt";
        saved_dtmf = DTMF_CTRL_FILE;
        saved_ptt = PTT_FILE;
        DTMF_CTRL_FILE = dtmf_path.c_str();
        PTT_FILE = ptt_path.c_str();
        snprintf(GATEWAY_CALL, sizeof GATEWAY_CALL, "TEST-GW");
        snprintf(GATEWAY_COMMENT, sizeof GATEWAY_COMMENT, "Test");
        DMO_REPEATER[0] = '\0';
        SYS_DEBUG = 0;
        // As after an SDS header from ISSI 1234567.
        msg = 0;
        ptt = 0;
        snprintf(CALL, sizeof CALL, "NO USER");
        snprintf(CALL_ID, sizeof CALL_ID, "1234567");
        memset(sendtext, 0, sizeof sendtext);
        clock_now(&lastgps);
        lastgps.tv_sec -= 60; // no report sent lately
    }

    void TearDown() override
    {
        close(serport.exchange(saved_serport));
        close(radio);
        reflector_stub_close(reflector);
        DTMF_CTRL_FILE = saved_dtmf;
        PTT_FILE = saved_ptt;
        unlink(dtmf_path.c_str());
        unlink(ptt_path.c_str());
        rmdir(dir.c_str());
        virtual_clock_uninstall();
    }

    // Makes line the current radio line, zero-filled behind it as the reader leaves it.
    static void set_line(const std::string& line)
    {
        memset(data, 0, sizeof data);
        memcpy(data, line.data(), std::min(line.size(), sizeof data - 1));
    }

    // Runs fn with the console captured and returns what it printed.
    template <typename F> static std::string captured(F fn)
    {
        capture_stdout_begin();
        fn();
        return capture_stdout_end();
    }

    // Everything the daemon has written to the radio so far.
    std::string radio_bytes() const
    {
        std::string all;
        char buf[512];
        ssize_t got;
        while ((got = recv(radio, buf, sizeof buf, MSG_DONTWAIT)) > 0)
            all.append(buf, static_cast<size_t>(got));
        return all;
    }

    // The next datagram at the reflector, "" when none is waiting (a loopback
    // send is queued before sendto returns, so nothing is missed).
    std::string reflector_next() const
    {
        char buf[4096];
        ssize_t got = recv(reflector, buf, sizeof buf, MSG_DONTWAIT);
        return got > 0 ? std::string(buf, static_cast<size_t>(got)) : std::string();
    }

    bool file_exists(const std::string& path) const { return access(path.c_str(), F_OK) == 0; }

    int reflector = -1;
    int radio = -1;
    int saved_serport = -1;
    std::string dir, dtmf_path, ptt_path;
    const char* saved_dtmf = nullptr;
    const char* saved_ptt = nullptr;
};
