// Fuzz target: the radio line dispatcher with its handlers, on the line that
// follows an SDS header. The input is what the radio sends after "+CTSDSR: ":
// the header's fields, CR LF, then the payload line (the session files' lines
// "radio +CTSDSR: ..." and the "radio ..." after it). Its bytes are assembled
// as the serial thread assembles them; the header line and the next non-empty
// line go through dispatch_line, then a send confirmation releases whatever
// the payload left held, so each input starts from the same session state.
//
// Nothing leaves the process: the serial port stays closed (serport -1), the
// reflector socket is -1, the control files and fault log lie in a private
// directory, the weather worker is closed as at a stop (a weather request is
// refused with its line, no thread starts), and sleeps return at once.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "config/config.h"
#include "config/reflector_address.h"
#include "events/dispatch.h"
#include "events/session.h"
#include "events/weather.h"
#include "fuzz_support.h"
#include "net/udp.h"
#include "radio/serial.h"
#include "util/control_chars.h"
#include "util/text.h"

namespace {

constexpr char HEADER_PREFIX[] = "+CTSDSR: ";
// Releases a held personal forward, as the radio's report of a sent SDS does.
constexpr char CONFIRMATION[] = "+CMGS: 0,4,1\r";
// Lines taken from one input: the header and its payload.
constexpr int LINES_PER_INPUT = 2;

// The session as start_session leaves it, with no report sent lately, at
// the virtual clock's start.
void fresh_session()
{
    virtual_clock_install();
    run = 1;
    sds = 0;
    ptt = 0;
    msg = MSG_NONE;
    CALL[0] = '\0';
    CALL_ID[0] = '\0';
    sdslength = 0;
    lastgps = 0;
    PushMessage[0] = '\0';
}

// Dispatches line unless it is empty, as the serial thread does; 1 when it
// was dispatched.
int dispatch_unless_empty(char* line)
{
    if (line[0] == CR)
        return 0;
    dispatch_line(line);
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_console();
    scratch_places();
    weather_stop(0);
    copy_field(GATEWAY_CALL, "FUZZ-GW");
    copy_field(GATEWAY_COMMENT, "fuzz");
    copy_field(CITY, "Fuzztown");
    copy_field(ZIP, "8010");
    copy_field(COUNTRY, "AT");
    copy_field(DMO_REPEATER, "YES");
    REFLECTOR_IP = htonl(INADDR_LOOPBACK);
    SYS_CTOM_WAIT = 2;
    SYS_DEBUG = 1; // the detail lines are code too
    serport = -1;
    reflector_listener_controlsock = -1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    fresh_session();
    std::string stream = HEADER_PREFIX;
    stream.append(reinterpret_cast<const char*>(bytes), size);
    stream += CR; // a last line without its CR still ends

    char line[DATA_SIZE] = {};
    int position = 0;
    int lines = 0;
    for (char byte : stream) {
        if (!assemble_byte(line, sizeof line, &position, byte))
            continue;
        lines += dispatch_unless_empty(line);
        if (lines == LINES_PER_INPUT)
            break;
        memset(line, 0, sizeof line);
        position = 0;
    }

    memset(line, 0, sizeof line);
    copy_field(line, CONFIRMATION);
    dispatch_line(line);
    return 0;
}
