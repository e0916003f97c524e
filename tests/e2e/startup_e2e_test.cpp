// The real daemon: start-up output, keepalives towards a loopback reflector,
// signals with the fault log, and the failing start-ups.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <csignal>
#include <string>

#include "support/capture.h"
#include "support/e2e.h"

namespace {

long long ms_since(std::chrono::steady_clock::time_point start)
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now() - start).count();
}

size_t count(const std::string& text, const std::string& needle)
{
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        n++;
    return n;
}

} // namespace

TEST(Startup, KeepalivesAndSignals)
{
    daemon_run run;
    auto start = std::chrono::steady_clock::now();
    e2e_start(&run);

    std::string first = e2e_reflector_receive(&run, 8000);
    long long first_ms = ms_since(start);
    EXPECT_EQ(first, ">>TEST-GW");
    EXPECT_GT(first_ms, 4000);
    EXPECT_LT(first_ms, 7000);
    std::string second = e2e_reflector_receive(&run, 8000);
    EXPECT_EQ(second, ">>TEST-GW");
    EXPECT_NEAR(ms_since(start) - first_ms, 6000, 1000);

    std::string out = e2e_stdout(&run);
    EXPECT_NE(out.find("IP Address 127.0.0.1\n"), std::string::npos);
    EXPECT_NE(out.find("ALL Addresses "), std::string::npos);
    EXPECT_NE(out.find("\033[0;32m"), std::string::npos);
    EXPECT_NE(out.find("VERSION: B.01.18\n\033[0m\n"), std::string::npos);
    EXPECT_NE(out.find("Reading file sdsbridge.conf\n"), std::string::npos);
    EXPECT_NE(out.find("GATEWAY_CALL=TEST-GW\n"), std::string::npos);
    EXPECT_NE(out.find("REFLECTOR_IP:127.0.0.1\n"), std::string::npos);
    EXPECT_NE(out.find("SYS_HARDWARE type recognized\n\n"), std::string::npos);

    // Termination is only logged: the gateway keeps running.
    e2e_signal(&run, SIGTERM);
    ASSERT_TRUE(e2e_wait_stdout(&run, "sigCatch errno=15\n", 2000));
    EXPECT_EQ(e2e_wait_exit(&run, 1500), -1);
    EXPECT_EQ(count(read_file(run.dir + "/error.txt"), "ERROR DMR MASTER:"), 1u);

    auto stop = std::chrono::steady_clock::now();
    e2e_signal(&run, SIGINT);
    EXPECT_EQ(e2e_wait_exit(&run, 3000), 0);
    EXPECT_LT(ms_since(stop), 1500);
    out = e2e_stdout(&run);
    EXPECT_NE(out.find("sigCatch errno=2\nERROR:Interrupt (ANSI)Program interrupt. (ctrl-c)\n"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 15), "EXIT sdsbridge\n");

    std::string log = read_file(run.dir + "/error.txt");
    EXPECT_EQ(count(log, "ERROR DMR MASTER:<"), 2u);
    EXPECT_NE(log.find("\nERROR:Interrupt (ANSI)Program interrupt. (ctrl-c)\nsignum=2\nFUNKTION:read_config\n\n"),
              std::string::npos);
    EXPECT_EQ(log.rfind("\nERROR DMR MASTER:<", 0), 0u);
    e2e_cleanup(&run);
}

TEST(Startup, HangupAndQuitStopToo)
{
    for (int sig : {SIGHUP, SIGQUIT}) {
        daemon_run run;
        e2e_start(&run);
        ASSERT_TRUE(e2e_wait_stdout(&run, "REFLECTOR_IP:", 5000));
        e2e_signal(&run, sig);
        EXPECT_EQ(e2e_wait_exit(&run, 3000), 0) << sig;
        EXPECT_NE(e2e_stdout(&run).find("sigCatch errno=" + std::to_string(sig) + "\n"), std::string::npos);
        e2e_cleanup(&run);
    }
}

TEST(Startup, FailingStartups)
{
    daemon_run run;
    e2e_prepare(&run);
    e2e_launch(&run); // no sdsbridge.conf
    EXPECT_EQ(e2e_wait_exit(&run, 5000), 1);
    std::string out = e2e_stdout(&run);
    EXPECT_NE(out.find("Failed to open file sdsbridge.conf 0\nEXIT sdsbridge\n"), std::string::npos);

    e2e_write_config(&run, e2e_config(&run, "REFLECTOR_DNS=no-such-host.invalid\n"));
    e2e_launch(&run);
    EXPECT_EQ(e2e_wait_exit(&run, 10000), 1);
    out = e2e_stdout(&run);
    EXPECT_NE(out.find("Could not resolve host name\nEXIT sdsbridge\n"), std::string::npos);
    e2e_cleanup(&run);
}

// The process whose working directory is dir (the detached daemon), or -1.
pid_t process_in(const std::string& dir)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(entry.path() / "cwd", ec) == dir)
            return static_cast<pid_t>(atoi(entry.path().filename().c_str()));
    }
    return -1;
}

TEST(Startup, DaemonModeKeepsTheWorkingDirectory)
{
    daemon_run run;
    e2e_prepare(&run);
    e2e_write_config(&run, e2e_config(&run));
    e2e_launch(&run, {"--daemon"});
    EXPECT_EQ(e2e_wait_exit(&run, 5000), 0); // the parent returns at once
    // The detached daemon keeps reading its configuration from the same directory.
    EXPECT_EQ(e2e_reflector_receive(&run, 8000), ">>TEST-GW");
    pid_t daemon = process_in(run.dir);
    ASSERT_GT(daemon, 0);
    kill(daemon, SIGINT);
    for (int i = 0; i < 300 && kill(daemon, 0) == 0; i++)
        usleep(10000);
    EXPECT_NE(kill(daemon, 0), 0);
    EXPECT_NE(read_file(run.dir + "/error.txt").find("signum=2"), std::string::npos);
    e2e_cleanup(&run);
}
