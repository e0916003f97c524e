// Signal handling and the fault log "error.txt". The handler only records the
// signal (and clears keep_running for hangup, interrupt and quit); the main
// thread writes the fault log entry and the console line soon after.
#pragma once

// Description of signals 1 to 23, each with its own trailing newline; "" otherwise.
const char* signal_description(int signum);

// Signals caught and not yet reported that are kept at most; more between
// two reports are only counted.
constexpr unsigned SIGNALS_RECORDED = 1024;

// The handler installed for SIGTERM, SIGHUP, SIGQUIT and SIGINT.
void sigCatch(int signum);

// Installs sigCatch for SIGINT alone; the result is not looked at.
void install_sigint_early();

// Installs sigCatch for SIGTERM, SIGHUP, SIGQUIT and SIGINT, in that order.
// On a failure prints the "sigaction-... failed" line and returns 0.
int install_signal_handlers();

// Writes, in arrival order, the fault log entry and the console line of every
// signal caught since the last call, then one line with the count of those
// that found the record full. Called from the main thread only.
void report_caught_signals();

// Appends one fault log entry for signum to the fault log file.
void write_fault_log_entry(int signum);
