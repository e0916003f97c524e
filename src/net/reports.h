// The reports to the reflector (group texts, positions, voice activity, the
// hourly beacon): each stamped with the local time at which it is composed,
// shown on the console and sent, all in one place.
#pragma once
#include <cstddef>

#include "net/datagrams.h"
#include "util/console.h"

// Formats a report into buf: compose(buf, size, time) lays it out with the
// report time of now ("%d.%m.%Y %H:%M:%S").
template <class Compose> void compose_report(char* buf, size_t size, Compose compose)
{
    char time[REPORT_TIME_SIZE];
    format_report_time(time, sizeof time);
    compose(buf, size, time);
}

// Composes a report as compose_report does, logs it behind tag, followed by
// tail (the report ends in its own newline; some console lines have always
// added another), and sends it to the reflector.
template <class Compose> void send_report(const char* tag, const char* tail, Compose compose)
{
    char message[MESSAGE_SIZE];
    compose_report(message, sizeof message, compose);
    log_ts("%s%s%s", tag, message, tail);
    send_to_reflector(message);
}
