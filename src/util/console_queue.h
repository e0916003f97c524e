// The hand-over from the formatting calls of util/console.h to standard
// output: a line is written at once by the thread that logs it while standard
// output takes it without waiting; else it waits in the console queue for the
// writer thread (console_queue_start, console_queue_drain).
#pragma once
#include <string>

// Writes or queues one or more whole lines, formatted and prefixed.
void console_put_line(const std::string& line);
