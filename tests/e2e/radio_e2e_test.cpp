// The radio link of the real daemon: the initialisation pacing, an SDS header
// and its payload, session restarts, a serial device that appears late, and
// the radio simulator driving the daemon.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/e2e.h"

namespace {

long long now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Waits for the commands one after the other; returns the arrival time of
// each (ms), or an empty list when one did not come within timeout_ms.
std::vector<long long> arrivals(daemon_run* run, const std::vector<std::string>& commands, int timeout_ms)
{
    std::vector<long long> times;
    std::string expected;
    for (const std::string& command : commands) {
        expected += command;
        if (!e2e_wait_serial(run, expected, timeout_ms))
            return {};
        times.push_back(now_ms());
    }
    return times;
}

const std::vector<std::string> MTM800E_NO = {"ATZ\r", "ATE1\r", "AT+CTOM=1\r"};
const std::string INIT = "ATZ\rATE1\rAT+CTOM=1\r";

TEST(RadioE2E, InitialisationOneSecondApartThenHeaderPayloadAndSessionRestart)
{
    daemon_run run;
    e2e_start(&run, "SYS_HARDWARE=MTM800e\nDMO_REPEATER=NO\nSYS_DEBUG=1\n");
    std::vector<long long> times = arrivals(&run, MTM800E_NO, 6000);
    ASSERT_EQ(times.size(), 3u) << run.serial_seen;
    for (size_t i = 1; i < times.size(); i++) {
        EXPECT_GE(times[i] - times[i - 1], 850) << MTM800E_NO[i];
        EXPECT_LE(times[i] - times[i - 1], 1600) << MTM800E_NO[i];
    }
    // The last wait ends, then nothing more is written; never a LF.
    e2e_drain_serial(&run, 1300);
    EXPECT_EQ(run.serial_seen, INIT);

    // An empty line between header and payload does not consume the header.
    e2e_radio_send(&run, "OK\r\n+CTSDSR: 12,2620011,0,1000001,0,28\r\n\r\n1234567\r\n");
    EXPECT_TRUE(e2e_wait_stdout(&run, "data (03/0): OK\r\n", 3000));
    EXPECT_TRUE(e2e_wait_stdout(&run, "data (35/0): +CTSDSR: 12,2620011,0,1000001,0,28\r\n", 3000));
    EXPECT_TRUE(e2e_wait_stdout(&run, "SDS:+CTSDSR: 12\n", 3000));
    EXPECT_TRUE(e2e_wait_stdout(&run, "data (08/1): 1234567\r\n", 3000));
    EXPECT_TRUE(e2e_wait_stdout(&run, "SDS LINE 2 LNG:8\n", 3000));
    EXPECT_EQ(e2e_stdout(&run).find("data (01/"), std::string::npos) << "empty line was logged";

    // "+CTGS: 1,1" keeps the session; "+MCCFG: 0" starts a new one.
    e2e_radio_send(&run, "+CTGS: 1,1\r\n");
    ASSERT_TRUE(e2e_wait_stdout(&run, "data (11/0): +CTGS: 1,1\r\n", 3000));
    e2e_radio_send(&run, "+MCCFG: 0\r\n");
    EXPECT_TRUE(e2e_wait_serial(&run, INIT + INIT, 6000));
    e2e_drain_serial(&run, 1300);
    EXPECT_EQ(run.serial_seen, INIT + INIT);
    e2e_cleanup(&run);
}

// CPU time (user + system) the process has used, in clock ticks: fields 14
// and 15 of its stat line, counted from the state (3rd) after the name.
long cpu_ticks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>()), field;
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; i++)
        ticks += i >= 14 ? std::stol(field) : 0;
    return ticks;
}

long count_lines(const std::string& text)
{
    return std::count(text.begin(), text.end(), '\n');
}

TEST(RadioE2E, MissingDeviceIsWaitedForQuietlyAndTakenWhenItAppears)
{
    daemon_run run;
    e2e_prepare(&run);
    std::string link = run.dir + "/radio-link";
    e2e_write_config(&run, e2e_config(&run, "SYS_SERPORT=" + link + "\nSYS_HARDWARE=MTM800e\nDMO_REPEATER=NO\n"));
    e2e_launch(&run);
    ASSERT_TRUE(e2e_wait_stdout(&run, "Error 2 opening " + link + ": No such file or directory", 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    constexpr int WINDOW_S = 6;
    long ticks_before = cpu_ticks(run.pid);
    long lines_before = count_lines(e2e_stdout(&run));
    std::this_thread::sleep_for(std::chrono::seconds(WINDOW_S));
    double cpu_share = static_cast<double>(cpu_ticks(run.pid) - ticks_before) / sysconf(_SC_CLK_TCK) / WINDOW_S;
    long lines = count_lines(e2e_stdout(&run)) - lines_before;
    EXPECT_LT(cpu_share, 0.02);
    EXPECT_LE(lines, 3 * WINDOW_S) << e2e_stdout(&run);
    EXPECT_GE(lines, 1) << "the failure is still reported";

    // The adapter comes back: opened, set up, and the radio initialised.
    ASSERT_EQ(symlink(run.serial_path.c_str(), link.c_str()), 0);
    EXPECT_TRUE(e2e_wait_serial(&run, INIT, 5000)) << run.serial_seen;
    e2e_cleanup(&run);
}

// The radio simulator run as a child: its stdin to write commands to, its
// stdout to read its log from.
struct simulator {
    pid_t pid = -1;
    int commands = -1; // write end of its stdin
    FILE* log = nullptr;
    std::string pty;
};

bool start_simulator(simulator* sim)
{
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0)
        return false;
    sim->pid = fork();
    if (sim->pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        close(in[1]);
        close(out[0]);
        execl(SDSBRIDGE_TOOLS_DIR "/sdsbridge-radio-sim", "sdsbridge-radio-sim", "--issi", "1000001",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    sim->commands = in[1];
    sim->log = fdopen(out[0], "r");
    char first[256] = ""; // "PTY /dev/pts/N"
    if (!fgets(first, sizeof first, sim->log) || strncmp(first, "PTY /dev/", 9) != 0)
        return false;
    sim->pty = std::string(first + 4, strcspn(first + 4, "\n"));
    return true;
}

void tell(simulator* sim, const std::string& line)
{
    std::string text = line + "\n";
    ASSERT_EQ(write(sim->commands, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

void stop_simulator(simulator* sim)
{
    if (sim->pid > 0) {
        kill(sim->pid, SIGTERM);
        waitpid(sim->pid, nullptr, 0);
    }
    if (sim->commands >= 0)
        close(sim->commands);
    if (sim->log)
        fclose(sim->log);
}

TEST(RadioSimulator, DrivesTheDaemon)
{
    simulator sim;
    ASSERT_TRUE(start_simulator(&sim));
    daemon_run run;
    e2e_prepare(&run);
    e2e_write_config(&run, e2e_config(&run, "SYS_SERPORT=" + sim.pty + "\nSYS_HARDWARE=MTM800e\nDMO_REPEATER=NO\n"));
    e2e_launch(&run);
    // The simulator answers each command; ATE1 turns the echo on, so the
    // third command comes back as a line.
    EXPECT_TRUE(e2e_wait_stdout(&run, "data (03/0): OK\r\n", 8000)) << e2e_stdout(&run);
    EXPECT_TRUE(e2e_wait_stdout(&run, "data (10/0): AT+CTOM=1\r\n", 8000)) << e2e_stdout(&run);
    tell(&sim, "status 2620011 1234");
    EXPECT_TRUE(e2e_wait_stdout(&run, "data (35/0): +CTSDSR: 13,2620011,0,1000001,0,16\r\n", 3000));
    EXPECT_TRUE(e2e_wait_stdout(&run, "data (05/1): 1234\r\n", 3000)) << e2e_stdout(&run);
    tell(&sim, "text 2620011 PC:hi");
    EXPECT_TRUE(e2e_wait_stdout(&run, "+CMGS: 0,4,", 6000)) << e2e_stdout(&run);
    e2e_cleanup(&run);
    stop_simulator(&sim);
}

} // namespace
