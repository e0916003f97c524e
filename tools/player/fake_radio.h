// The fake radio: a pseudo-terminal whose master the player holds, answering
// the gateway's AT commands and SDS PDUs as a radio does.
#pragma once
#include <termios.h>

#include <deque>
#include <string>
#include <vector>

#include "expectations.h"
#include "pei.h"

// A marker speed set on the radio's pty before the gateway opens it: when the
// speed has changed, the gateway has flushed and set up the port, and lines
// sent from then on reach it.
constexpr speed_t UNCONFIGURED_SPEED = B134;

struct fake_radio {
    int master = -1;
    int slave = -1; // kept open so the pty outlives the gateway's close
    std::string link;
    bool ready = false;          // the gateway has set up the port
    std::string answer = PEI_OK; // to every command and PDU; "" for none
    // The answers to the next commands and PDUs, one each, before "answer"
    // holds again: sent the moment a command is in, however far the steps are.
    std::deque<std::string> replies;
    pei_input input;           // the gateway's command being received
    bool confirm_acks = false; // "+CMGS: 0,4,N" once an acknowledgement went out
    int acks_confirmed = 0;
    std::vector<event> lines_sent; // every line the radio sent, CR LF removed
};

// Opens a new pty as radio->link; false when it cannot.
bool radio_open(fake_radio* radio);
// The cable pulled: the pty closed and its link removed.
void radio_close(fake_radio* radio);
// The radio sends bytes; every whole line is kept with its time. True when
// the line took them all.
bool radio_write(fake_radio* radio, const std::string& bytes);
// Bytes the gateway wrote, recorded in r with their time and answered.
void radio_take(fake_radio* radio, record* r, const char* bytes, size_t count, bool verbose);
// Notes once the gateway has set up the radio's port.
void radio_check_ready(fake_radio* radio);

// Shows text under dir ("radio <-") when verbose.
void note(bool verbose, const char* dir, const std::string& text);
// Seconds on a steady clock.
double now_s();
