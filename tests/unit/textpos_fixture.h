// Shared set-up for the text, position and voice handler tests: virtual
// clock, a loopback reflector, a socket pair standing in for the radio's
// serial line, and scratch control files.
#pragma once
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

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
        // One test runs per process: the process id keeps the files apart.
        dtmf_path = "/tmp/sdsbridge-dtmf." + std::to_string(getpid());
        ptt_path = "/tmp/sdsbridge-ptt." + std::to_string(getpid());
        saved_dtmf = std::exchange(DTMF_CTRL_FILE, dtmf_path.c_str());
        saved_ptt = std::exchange(PTT_FILE, ptt_path.c_str());
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
        virtual_clock_uninstall();
    }

    // Makes line the current radio line, zero-filled behind it as the reader
    // leaves it, runs handler with the console captured and returns the console.
    static std::string handle(const std::string& line, void (*handler)())
    {
        memset(data, 0, sizeof data);
        memcpy(data, line.data(), std::min(line.size(), sizeof data - 1));
        capture_stdout_begin();
        handler();
        return capture_stdout_end();
    }

    // Everything the daemon has written to the radio since the last call (a
    // stream socket hands over all waiting bytes at once).
    std::string radio_bytes() const { return udp_receive_now(radio); }

    // The next datagram at the reflector, "" when none is waiting (a loopback
    // send is queued before sendto returns, so nothing is missed).
    std::string reflector_next() const { return udp_receive_now(reflector); }

    static bool file_exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

    int reflector = -1, radio = -1, saved_serport = -1;
    std::string dtmf_path, ptt_path;
    const char* saved_dtmf = nullptr;
    const char* saved_ptt = nullptr;
};
