// The radio link of the real daemon: the initialisation sequence per model
// with its pacing, an SDS header and its payload, session restarts, a serial
// device that appears late, and the radio simulator on both sides.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
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

std::string joined(const std::vector<std::string>& parts)
{
    std::string all;
    for (const std::string& part : parts)
        all += part;
    return all;
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

const std::vector<std::string> MTM5400_YES = {
    "ATZ\r",           "ATE1\r",           "AT+CTOM=6\r",       "AT+CTSP=2,0,0\r",
    "AT+CTSP=1,2\r",   "AT+CTSP=1,3,2\r",  "AT+CTSP=1,3,3\r",   "AT+CTSP=1,3,10\r",
    "AT+CTSP=1,3,130\r", "AT+CTSP=1,3,131\r", "AT+CTSP=1,3,138\r", "AT+CNUMF?\r"};
const std::vector<std::string> MTM800E_NO = {"ATZ\r", "ATE1\r", "AT+CTOM=1\r"};
const std::vector<std::string> CM5000A_NO = {"ATZ\r",          "ATE1\r",           "AT+CTOM=1\r",
                                             "AT+CTSP=2,0,0\r", "AT+CTSP=1,3,2\r",  "AT+CTSP=1,3,3\r",
                                             "AT+CTSP=1,3,130\r", "AT+CTSP=1,3,131\r"};

TEST(RadioE2E, InitialisationSequencePerModelOneSecondApart)
{
    struct row {
        const char* config;
        std::vector<std::string> commands;
    };
    const row rows[] = {
        {"SYS_HARDWARE=MTM5400\nDMO_REPEATER=YES\n", MTM5400_YES},
        {"SYS_HARDWARE=MTM800e\nDMO_REPEATER=yes\n", MTM800E_NO},
        {"SYS_HARDWARE=CM5000A\nDMO_REPEATER=NO\n", CM5000A_NO},
        {"SYS_HARDWARE=SRG3900\nDMO_REPEATER=YES\n", {}},
    };
    for (const row& r : rows) {
        daemon_run run;
        e2e_start(&run, r.config);
        ASSERT_TRUE(e2e_wait_stdout(&run, "Start serial_listener Modul  V0.01", 5000)) << r.config;
        std::vector<long long> times = arrivals(&run, r.commands, 4000);
        ASSERT_EQ(times.size(), r.commands.size()) << r.config << "got: " << run.serial_seen;
        for (size_t i = 1; i < times.size(); i++) {
            long long gap = times[i] - times[i - 1];
            EXPECT_GE(gap, 850) << r.config << r.commands[i];
            EXPECT_LE(gap, 1600) << r.config << r.commands[i];
        }
        // The last wait ends, then nothing more is written; never a LF.
        e2e_drain_serial(&run, 1300);
        EXPECT_EQ(run.serial_seen, joined(r.commands)) << r.config;
        EXPECT_EQ(run.serial_seen.find('\n'), std::string::npos);
        e2e_cleanup(&run);
    }
}

TEST(RadioE2E, HeaderPayloadAndSessionRestart)
{
    daemon_run run;
    e2e_start(&run, "SYS_HARDWARE=MTM800e\nDMO_REPEATER=NO\nSYS_DEBUG=1\n");
    ASSERT_EQ(arrivals(&run, MTM800E_NO, 6000).size(), 3u);
    e2e_drain_serial(&run, 1200); // the last wait

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
    std::vector<std::string> twice = MTM800E_NO;
    twice.insert(twice.end(), MTM800E_NO.begin(), MTM800E_NO.end());
    EXPECT_TRUE(e2e_wait_serial(&run, joined(twice), 6000));
    e2e_drain_serial(&run, 1300);
    EXPECT_EQ(run.serial_seen, joined(twice));
    e2e_cleanup(&run);
}

// CPU time (user + system) the process has used, in clock ticks.
long cpu_ticks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name in parentheses start with the state (3rd).
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; i++) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15)
            stime = std::stol(field);
    }
    return utime + stime;
}

size_t count_lines(const std::string& text)
{
    size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
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
    size_t lines_before = count_lines(e2e_stdout(&run));
    std::this_thread::sleep_for(std::chrono::seconds(WINDOW_S));
    double cpu_share = static_cast<double>(cpu_ticks(run.pid) - ticks_before) / sysconf(_SC_CLK_TCK) / WINDOW_S;
    size_t lines = count_lines(e2e_stdout(&run)) - lines_before;
    EXPECT_LT(cpu_share, 0.02);
    EXPECT_LE(lines, static_cast<size_t>(3 * WINDOW_S)) << e2e_stdout(&run);
    EXPECT_GE(lines, 1u) << "the failure is still reported";

    // The adapter comes back: opened, set up, and the radio initialised.
    ASSERT_EQ(symlink(run.serial_path.c_str(), link.c_str()), 0);
    EXPECT_EQ(arrivals(&run, MTM800E_NO, 5000).size(), 3u) << run.serial_seen;
    e2e_radio_send(&run, "OK\r\n");
    EXPECT_TRUE(e2e_wait_stdout(&run, "data (03/0): OK\r\n", 4000));
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
    char first[256] = "";
    if (!fgets(first, sizeof first, sim->log))
        return false;
    std::string line = first;
    if (line.rfind("PTY /dev/", 0) != 0 || line.back() != '\n')
        return false;
    sim->pty = line.substr(4, line.size() - 5);
    return true;
}

void tell(simulator* sim, const std::string& line)
{
    std::string text = line + "\n";
    ASSERT_EQ(write(sim->commands, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// Ends the simulator and returns the rest of its log.
std::string stop_simulator(simulator* sim)
{
    if (sim->pid > 0) {
        kill(sim->pid, SIGTERM);
        waitpid(sim->pid, nullptr, 0);
    }
    if (sim->commands >= 0)
        close(sim->commands);
    std::string rest;
    char buf[1024];
    while (sim->log && fgets(buf, sizeof buf, sim->log))
        rest += buf;
    if (sim->log)
        fclose(sim->log);
    return rest;
}

// What arrives on fd: waits up to 2 s for the first byte, then reads until
// the line has been quiet for 200 ms.
std::string read_answer(int fd)
{
    std::string got;
    char buf[1024];
    struct pollfd pfd = {fd, POLLIN, 0};
    int wait_ms = 2000;
    while (poll(&pfd, 1, wait_ms) > 0) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, static_cast<size_t>(n));
        wait_ms = 200;
    }
    return got;
}

TEST(RadioSimulator, AnswersCommandsAndSdsTransfersLikeARadio)
{
    simulator sim;
    ASSERT_TRUE(start_simulator(&sim));
    int port = open(sim.pty.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(port, 0);
    struct termios tio;
    tcgetattr(port, &tio);
    cfmakeraw(&tio);
    tcsetattr(port, TCSANOW, &tio);
    auto exchange = [&](const std::string& bytes) {
        EXPECT_EQ(write(port, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        return read_answer(port);
    };
    EXPECT_EQ(exchange("ATZ\r"), "OK\r\n");
    EXPECT_EQ(exchange("ATE1\r"), "OK\r\n");
    EXPECT_EQ(exchange("AT+CTSDS=12,0\r"), "AT+CTSDS=12,0\r\nOK\r\n");
    EXPECT_EQ(exchange("AT+CMGS=2620011,72\r"), "AT+CMGS=2620011,72\r\nOK\r\n");
    EXPECT_EQ(exchange("8204A30168656C6C6F\x1A"), "8204A30168656C6C6F\r\n+CMGS: 0,4,163\r\nOK\r\n");
    EXPECT_EQ(exchange("ATE0\r"), "ATE0\r\nOK\r\n");
    EXPECT_EQ(exchange("AT+CMGS=2620011,32\r821000a7\x1A"), "OK\r\n+CMGS: 0,4,1\r\nOK\r\n");
    // Commands on stdin are taken in order: once the marker line is out,
    // error mode is on.
    tell(&sim, "error on");
    tell(&sim, "raw marker");
    EXPECT_EQ(read_answer(port), "marker\r\n");
    EXPECT_EQ(exchange("AT+CTOM=1\r"), "ERROR\r\n");
    tell(&sim, "error off");

    tell(&sim, "status 2620011 80E8");
    EXPECT_EQ(read_answer(port), "+CTSDSR: 13,2620011,0,1000001,0,16\r\n80E8\r\n");
    tell(&sim, "text 2620011 PC:hi there");
    EXPECT_EQ(read_answer(port), "+CTSDSR: 12,2620011,0,1000001,0,120\r\n"
                                   "8204010150433A6869207468657265\r\n");
    tell(&sim, "group 2620011 GC:x");
    EXPECT_EQ(read_answer(port), "+CTSDSR: 12,2620011,0,1000001,0,64\r\n8200020147433A78\r\n");
    tell(&sim, "pos 2620011 41.2 23.37 45");
    std::string pos = read_answer(port);
    EXPECT_EQ(pos.substr(0, 37), "+CTSDSR: 12,2620011,0,1000001,0,208\r\n");
    EXPECT_NE(pos.find("\n03801316302F000000000000663A98765"), std::string::npos) << pos;
    EXPECT_NE(pos.find("8100005620\r\n"), std::string::npos) << pos;
    tell(&sim, "ptt 42");
    EXPECT_EQ(read_answer(port), "+CTXG: 1,3,0,0,1,9990010000042\r\n");
    tell(&sim, "pttoff");
    EXPECT_EQ(read_answer(port), "+CDTXC: 1,0\r\n");
    tell(&sim, "raw +CTGS: 2\\x2C1\\r");
    EXPECT_EQ(read_answer(port), "+CTGS: 2,1\r\r\n");

    close(port);
    std::string log = stop_simulator(&sim);
    // Its log shows what came in and went out, control characters visible.
    EXPECT_NE(log.find("] <- AT+CMGS=2620011,32<CR>\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] <- 821000a7<^Z>\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] -> +CMGS: 0,4,1<CR><LF>\n"), std::string::npos) << log;
}

TEST(RadioSimulator, DrivesTheDaemon)
{
    simulator sim;
    ASSERT_TRUE(start_simulator(&sim));
    daemon_run run;
    e2e_prepare(&run);
    e2e_write_config(&run, e2e_config(&run, "SYS_SERPORT=" + sim.pty + "\nSYS_HARDWARE=MTM800e\nDMO_REPEATER=NO\n"));
    e2e_launch(&run);
    // ATE1 turns the echo on, so the third command comes back as a line.
    EXPECT_TRUE(e2e_wait_stdout(&run, "data (10/0): AT+CTOM=1\r\n", 8000)) << e2e_stdout(&run);
    tell(&sim, "status 2620011 1234");
    EXPECT_TRUE(e2e_wait_stdout(&run, "data (35/0): +CTSDSR: 13,2620011,0,1000001,0,16\r\n", 3000));
    EXPECT_TRUE(e2e_wait_stdout(&run, "data (05/1): 1234\r\n", 3000)) << e2e_stdout(&run);
    e2e_cleanup(&run);
    stop_simulator(&sim);
}

} // namespace
