// End-to-end harness: runs the real daemon in a scratch working directory,
// with a pseudo-terminal standing in for the radio's serial PEI and a UDP
// socket on loopback standing in for the reflector.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

struct daemon_run {
    std::string dir;          // scratch working directory (config, error.txt, stdout.txt)
    pid_t pid = -1;
    int radio = -1;           // pty master: what the daemon writes arrives here
    int radio_slave = -1;     // kept open so the pty outlives the daemon's close
    std::string serial_path;  // the device to give as SYS_SERPORT
    int reflector = -1;       // UDP socket on 127.0.0.1
    int reflector_port = 0;
    std::string serial_seen;  // every byte the daemon has written to the radio so far
};

// Prepares the scratch directory, the radio pty and the reflector socket.
void e2e_prepare(daemon_run* run);
// The configuration pointing the daemon at this run's radio and reflector,
// followed by extra lines (a later key overrides an earlier one).
std::string e2e_config(const daemon_run* run, const std::string& extra = "");
// Writes sdsbridge.conf into the scratch directory.
void e2e_write_config(const daemon_run* run, const std::string& text);
// Starts the daemon with the given arguments (working directory = run->dir).
void e2e_launch(daemon_run* run, const std::vector<std::string>& args = {});
// prepare + config + launch in one step.
void e2e_start(daemon_run* run, const std::string& extra_config = "");

// Everything the daemon printed so far (stdout and stderr).
std::string e2e_stdout(const daemon_run* run);
// Waits until the console output contains needle; false after timeout_ms.
bool e2e_wait_stdout(const daemon_run* run, const std::string& needle, int timeout_ms);
// Waits until the bytes written to the radio contain needle.
bool e2e_wait_serial(daemon_run* run, const std::string& needle, int timeout_ms);
// Collects bytes written to the radio for about duration_ms.
void e2e_drain_serial(daemon_run* run, int duration_ms);
// Bytes the radio sends to the daemon.
void e2e_radio_send(daemon_run* run, const std::string& bytes);
// The next datagram reaching the reflector, or "" after timeout_ms.
std::string e2e_reflector_receive(daemon_run* run, int timeout_ms);
// Sends a datagram to the daemon's reflector port (5230) from the reflector socket.
void e2e_reflector_send(daemon_run* run, const std::string& text);

// Sends sig to the daemon.
void e2e_signal(daemon_run* run, int sig);
// Waits for the daemon to exit: its exit status, or -1 if it is still running
// after timeout_ms (or died from a signal).
int e2e_wait_exit(daemon_run* run, int timeout_ms);
// Kills the daemon if still running, closes everything, removes the directory.
void e2e_cleanup(daemon_run* run);
