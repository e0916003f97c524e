// The fake radio on its pseudo-terminal.
#include "fake_radio.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "escape.h"
#include "pty.h"

double now_s()
{
    auto since_boot = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since_boot).count();
}

void note(bool verbose, const char* dir, const std::string& text)
{
    if (verbose)
        printf("  %s %s\n", dir, visible(text).c_str());
}

bool radio_open(fake_radio* radio)
{
    std::string name, why;
    radio->master = pty_open(&name, &radio->slave, &why);
    if (radio->master < 0 || !pty_make_raw(radio->slave, UNCONFIGURED_SPEED))
        return false;
    fcntl(radio->master, F_SETFL, fcntl(radio->master, F_GETFL) | O_NONBLOCK);
    radio->ready = false;
    unlink(radio->link.c_str());
    return symlink(name.c_str(), radio->link.c_str()) == 0;
}

void radio_close(fake_radio* radio)
{
    for (int* fd : {&radio->master, &radio->slave})
        if (*fd >= 0)
            close(*fd), *fd = -1;
    unlink(radio->link.c_str());
    radio->ready = false;
    radio->input = pei_input{};
}

// Each whole line is kept with its time, so the time the gateway took to
// read it can be told from its "data" console line.
bool radio_write(fake_radio* radio, const std::string& bytes)
{
    double at = now_s();
    for (size_t start = 0, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        radio->lines_sent.push_back({at, bytes.substr(start, end - start)});
    return write(radio->master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// Every command (CR) and every PDU (Ctrl-Z after "AT+CMGS=") gets the
// session's answer, "OK" unless it says otherwise.
void radio_take(fake_radio* radio, record* r, const char* bytes, size_t count, bool verbose)
{
    double at = now_s();
    for (size_t i = 0; i < count; i++) {
        r->serial += bytes[i];
        r->serial_at.push_back(at);
        std::string unit;
        bool announced = false;
        pei_unit kind = pei_feed(&radio->input, bytes[i], &unit, &announced);
        if (kind == PEI_NONE)
            continue;
        note(verbose, "radio <-", unit);
        std::string reply = radio->answer;
        if (!radio->replies.empty()) {
            reply = radio->replies.front().empty() ? "" : radio->replies.front() + "\r\n";
            radio->replies.pop_front();
        }
        if (!reply.empty() && radio->master >= 0 && !radio_write(radio, reply))
            perror("radio answer");
        if (radio->confirm_acks && kind == PEI_PDU && pei_is_acknowledgement(pei_text(unit)))
            radio_write(radio, pei_sent_report(static_cast<unsigned>(++radio->acks_confirmed)));
    }
}

void radio_check_ready(fake_radio* radio)
{
    struct termios tio;
    if (!radio->ready && radio->slave >= 0 && tcgetattr(radio->slave, &tio) == 0)
        radio->ready = cfgetospeed(&tio) != UNCONFIGURED_SPEED;
}
