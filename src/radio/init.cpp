// Radio initialisation sequences: reset to the stored profile, echo on, the
// operating mode from DMO_REPEATER, and the service profiles that route SDS-TL
// traffic (text messaging 0x82 = 130, positions 3, ...) to the PEI.
#include "radio/init.h"

#include "config/config.h"
#include "radio/serial.h"

namespace {

// Commands of each sequence; every one may wait its full second.
constexpr int MTM5400_COMMANDS = 12;
constexpr int MTM800E_COMMANDS = 3;
constexpr int CM5000_COMMANDS = 8;

// One command and its wait. The waits run on the serial thread, which reads
// nothing meanwhile, so each lasts its full second; the echoes and answers are
// read as ordinary lines afterwards.
void command(const char* cmd)
{
    write_ser(cmd);
    wait_ok();
}

// Reset, echo on, and operating mode 6 (DMO repeater) or 1.
void common_start()
{
    command("ATZ\r");
    command("ATE1\r");
    command(dmo_repeater_on() ? "AT+CTOM=6\r" : "AT+CTOM=1\r");
}

} // namespace

void mtm_init()
{
    common_start();
    command("AT+CTSP=2,0,0\r");
    command("AT+CTSP=1,2\r");
    command("AT+CTSP=1,3,2\r");
    command("AT+CTSP=1,3,3\r");
    command("AT+CTSP=1,3,10\r");
    command("AT+CTSP=1,3,130\r");
    command("AT+CTSP=1,3,131\r");
    command("AT+CTSP=1,3,138\r");
    command("AT+CNUMF?\r");
}

void mtm800e_init()
{
    common_start();
}

void cm5000_init()
{
    common_start();
    command("AT+CTSP=2,0,0\r");
    command("AT+CTSP=1,3,2\r");
    command("AT+CTSP=1,3,3\r");
    command("AT+CTSP=1,3,130\r");
    command("AT+CTSP=1,3,131\r");
}

bool radio_needs_init()
{
    return MTM5400 || MTM800e || CM5000 || CM5000A;
}

int init_commands()
{
    if (MTM5400)
        return MTM5400_COMMANDS;
    if (MTM800e)
        return MTM800E_COMMANDS;
    return CM5000 || CM5000A ? CM5000_COMMANDS : 0;
}

void init_sequence()
{
    if (MTM5400)
        mtm_init();
    else if (MTM800e)
        mtm800e_init();
    else if (CM5000 || CM5000A)
        cm5000_init();
}
