// Radio initialisation sequences: reset to the stored profile, echo on, the
// operating mode from DMO_REPEATER, and the service profiles that route SDS-TL
// traffic (text messaging 0x82 = 130, positions 3, ...) to the PEI.
#include "radio/init.h"

#include <mutex>

#include "config/config.h"
#include "radio/serial.h"

namespace {

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

namespace {

void init_model()
{
    if (MTM5400)
        mtm_init();
    else if (MTM800e)
        mtm800e_init();
    else if (CM5000 || CM5000A)
        cm5000_init();
}

} // namespace

void init_radio()
{
    std::lock_guard<std::mutex> lock(serial_write_lock);
    init_model();
}

bool try_init_radio()
{
    std::unique_lock<std::mutex> lock(serial_write_lock, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    init_model();
    return true;
}
