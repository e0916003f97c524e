// End-to-end harness.
#include "support/e2e.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/capture.h"

namespace {

long long now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void open_radio(daemon_run* run)
{
    run->radio = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(run->radio);
    unlockpt(run->radio);
    run->serial_path = ptsname(run->radio);
    run->radio_slave = open(run->serial_path.c_str(), O_RDWR | O_NOCTTY);
    // Raw before the daemon opens it, so nothing is echoed or translated.
    struct termios tio;
    tcgetattr(run->radio_slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(run->radio_slave, TCSANOW, &tio);
    fcntl(run->radio, F_SETFL, fcntl(run->radio, F_GETFL) | O_NONBLOCK);
}

// Reads whatever the daemon has written to the radio within wait_ms.
void pull_serial(daemon_run* run, int wait_ms)
{
    struct pollfd pfd = {run->radio, POLLIN, 0};
    if (poll(&pfd, 1, wait_ms) <= 0)
        return;
    char buf[4096];
    ssize_t got;
    while ((got = read(run->radio, buf, sizeof buf)) > 0)
        run->serial_seen.append(buf, static_cast<size_t>(got));
}

} // namespace

void e2e_prepare(daemon_run* run)
{
    char templ[] = "/tmp/sdsbridge-e2e-XXXXXX";
    run->dir = mkdtemp(templ);
    open_radio(run);
    run->reflector = udp_listener(&run->reflector_port, 100);
}

std::string e2e_config(const daemon_run* run, const std::string& extra)
{
    return "REFLECTOR_DNS=127.0.0.1\n"
           "REFLECTOR_PORT=" + std::to_string(run->reflector_port) + "\n"
           "SYS_SERPORT=" + run->serial_path + "\n"
           "SYS_HARDWARE=SRG3900\n"
           "GATEWAY_CALL=TEST-GW\n"
           "GATEWAY_COMMENT=Test gateway\n"
           "SYS_CTOM_WAIT=1\n" + extra;
}

void e2e_write_config(const daemon_run* run, const std::string& text)
{
    std::ofstream(run->dir + "/sdsbridge.conf") << text;
}

void e2e_launch(daemon_run* run, const std::vector<std::string>& args)
{
    std::string out = run->dir + "/stdout.txt";
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(run->dir.c_str()) != 0)
            _exit(127);
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        close(fd);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>("sdsbridge"));
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(SDSBRIDGE_BINARY, argv.data());
        _exit(127);
    }
    run->pid = pid;
}

void e2e_start(daemon_run* run, const std::string& extra_config)
{
    e2e_prepare(run);
    e2e_write_config(run, e2e_config(run, extra_config));
    e2e_launch(run);
}

std::string e2e_stdout(const daemon_run* run)
{
    return read_file(run->dir + "/stdout.txt");
}

bool e2e_wait_stdout(const daemon_run* run, const std::string& needle, int timeout_ms)
{
    long long end = now_ms() + timeout_ms;
    do {
        if (e2e_stdout(run).find(needle) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (now_ms() < end);
    return false;
}

bool e2e_wait_serial(daemon_run* run, const std::string& needle, int timeout_ms)
{
    long long end = now_ms() + timeout_ms;
    do {
        if (run->serial_seen.find(needle) != std::string::npos)
            return true;
        pull_serial(run, 20);
    } while (now_ms() < end);
    return run->serial_seen.find(needle) != std::string::npos;
}

void e2e_drain_serial(daemon_run* run, int duration_ms)
{
    long long end = now_ms() + duration_ms;
    while (now_ms() < end)
        pull_serial(run, 20);
}

void e2e_radio_send(daemon_run* run, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = write(run->radio, bytes.data() + done, bytes.size() - done);
        if (put > 0)
            done += static_cast<size_t>(put);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string e2e_reflector_receive(daemon_run* run, int timeout_ms)
{
    long long end = now_ms() + timeout_ms;
    do {
        std::string got = udp_receive(run->reflector);
        if (!got.empty())
            return got;
    } while (now_ms() < end);
    return "";
}

void e2e_reflector_send(daemon_run* run, const std::string& text)
{
    struct sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(5230);
    sendto(run->reflector, text.data(), text.size(), 0, reinterpret_cast<struct sockaddr*>(&to), sizeof to);
}

void e2e_signal(daemon_run* run, int sig)
{
    if (run->pid > 0)
        kill(run->pid, sig);
}

int e2e_wait_exit(daemon_run* run, int timeout_ms)
{
    long long end = now_ms() + timeout_ms;
    do {
        int status = 0;
        if (run->pid > 0 && waitpid(run->pid, &status, WNOHANG) == run->pid) {
            run->pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (now_ms() < end);
    return -1;
}

void e2e_cleanup(daemon_run* run)
{
    if (run->pid > 0) {
        kill(run->pid, SIGKILL);
        waitpid(run->pid, nullptr, 0);
        run->pid = -1;
    }
    for (int* fd : {&run->radio, &run->radio_slave, &run->reflector}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    std::error_code ignored;
    if (!run->dir.empty())
        std::filesystem::remove_all(run->dir, ignored);
}
