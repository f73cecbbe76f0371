// The simulator binary over a real pseudo-terminal: the port announcement, its registration,
// replies on the line, control commands on standard input, unplug/replug, a dropped transfer,
// and the clean-up on SIGTERM.
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

using simtest::ReadFile;
using simtest::TempDir;

namespace {

class SimProcess {
public:
    SimProcess(const std::filesystem::path& portsDir, const std::filesystem::path& card,
               std::vector<std::string> extra = {}) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string binary = KELVASTRA_BINARY_DIR "/sim/kelvastra-sim";
        std::string ports = portsDir.string();
        std::string cardText = card.string();
        std::vector<std::string> args = {binary,   "--ports-dir", ports,
                                         "--card", cardText,      "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, binary.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        m_in = in[1];
        m_out = out[0];
    }
    ~SimProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_in);
        close(m_out);
    }
    pid_t Pid() const { return m_pid; }

    // The next stdout line, or "" after the time-out.
    std::string Line(int timeoutMs = 10000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_buffer.find('\n') == std::string::npos) {
            int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                               deadline - std::chrono::steady_clock::now())
                               .count());
            pollfd p{m_out, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) <= 0) {
                return "";
            }
            char chunk[512];
            ssize_t n = read(m_out, chunk, sizeof chunk);
            if (n <= 0) {
                return "";
            }
            m_buffer.append(chunk, size_t(n));
        }
        std::string line = m_buffer.substr(0, m_buffer.find('\n'));
        m_buffer.erase(0, line.size() + 1);
        return line;
    }
    // The next line that starts with `prefix`.
    std::string LineStartingWith(const std::string& prefix) {
        for (std::string line = Line(); !line.empty(); line = Line()) {
            if (line.rfind(prefix, 0) == 0) {
                return line;
            }
        }
        return "";
    }
    void Control(const std::string& command) {
        std::string text = command + "\n";
        ASSERT_EQ(write(m_in, text.data(), text.size()), ssize_t(text.size()));
    }
    int Terminate() {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_in = -1, m_out = -1;
    std::string m_buffer;
};

int OpenPort(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd >= 0) {
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

// Reads until `end` arrives (inclusive) or the time-out; "" plus errno on a dead link.
std::string ReadUntil(int fd, char end, int timeoutMs = 5000, bool* dead = nullptr) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.empty() || got.back() != end) {
        int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                           deadline - std::chrono::steady_clock::now())
                           .count());
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, left) <= 0) {
            break;
        }
        char c;
        ssize_t n = read(fd, &c, 1);
        if (n <= 0) {
            if (dead) {
                *dead = true;
            }
            break;
        }
        got += c;
    }
    return got;
}

std::string Exchange(int fd, const std::string& command, char end = '\r') {
    if (write(fd, command.data(), command.size()) != ssize_t(command.size())) {
        return "(write failed)";
    }
    return ReadUntil(fd, end);
}

TEST(SimulatorProcess, AnswersOnItsPtyAndRegistersAndUnregistersThePort) {
    TempDir dir;
    auto ports = dir.Path() / "ports";
    SimProcess sim(ports, dir.Path() / "card");
    ASSERT_GT(sim.Pid(), 0);
    std::string first = sim.Line();
    ASSERT_EQ(first.rfind("kelvastra-sim: port /dev/", 0), 0u) << first;
    std::string port = first.substr(std::string("kelvastra-sim: port ").size());

    auto registration = ports / ("sim-" + std::to_string(sim.Pid()) + ".port");
    ASSERT_TRUE(std::filesystem::exists(registration));
    EXPECT_EQ(ReadFile(registration), "port=" + port +
                                          "\ndescription=Adafruit Kelvastra Simulator\n"
                                          "hardwareId=USB\\VID_239A&PID_800B\nlocation=" +
                                          port + "\npid=" + std::to_string(sim.Pid()) + "\n");

    int fd = OpenPort(port);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, "0?R 2\r"), "Firmware Version 4.050\r");
    EXPECT_EQ(Exchange(fd, "0?S\r"), "0\r");

    // Control commands on standard input change what the line says.
    sim.Control("state 4");
    EXPECT_EQ(sim.Line(), "kelvastra-sim: ok state 4");
    EXPECT_EQ(Exchange(fd, "0?S\r"), "4\r");
    sim.Control("error97 1");
    EXPECT_EQ(sim.Line(), "kelvastra-sim: ok error97 1");
    EXPECT_EQ(Exchange(fd, "0?S\r"), "Error 97\r");
    EXPECT_EQ(Exchange(fd, "0?S\r"), "4\r");
    sim.Control("bogus");
    EXPECT_EQ(sim.Line().rfind("kelvastra-sim: error unknown control command", 0), 0u);

    // A file download ends with the end byte.
    EXPECT_EQ(Exchange(fd, "0F NAME.INI\r"), "OK\r");
    EXPECT_EQ(ReadUntil(fd, '\x17'), "Sample\x17");

    // Unplug removes the registration and kills the line; replug brings a new one.
    sim.Control("unplug");
    EXPECT_EQ(sim.LineStartingWith("kelvastra-sim: ok unplug"), "kelvastra-sim: ok unplug");
    EXPECT_FALSE(std::filesystem::exists(registration));
    bool dead = false;
    ReadUntil(fd, '\r', 2000, &dead);
    EXPECT_TRUE(dead);
    close(fd);
    sim.Control("replug");
    std::string again = sim.LineStartingWith("kelvastra-sim: port ");
    ASSERT_FALSE(again.empty());
    EXPECT_TRUE(std::filesystem::exists(registration));
    port = again.substr(std::string("kelvastra-sim: port ").size());
    fd = OpenPort(port);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, "0?V\r"), "3866624\r");

    // A link dropped in the middle of a download.
    sim.Control("drop 100");
    EXPECT_EQ(sim.LineStartingWith("kelvastra-sim: ok drop"), "kelvastra-sim: ok drop 100");
    EXPECT_EQ(Exchange(fd, "0F DATA0001.CSV\r"), "OK\r");
    dead = false;
    std::string partial = ReadUntil(fd, '\x17', 3000, &dead);
    EXPECT_TRUE(dead);
    EXPECT_EQ(partial.size(), 100u);
    EXPECT_EQ(partial.substr(0, 9), "Time(mS),");
    EXPECT_FALSE(std::filesystem::exists(registration));
    close(fd);

    sim.Control("replug");
    ASSERT_FALSE(sim.LineStartingWith("kelvastra-sim: port ").empty());
    EXPECT_TRUE(std::filesystem::exists(registration));
    EXPECT_EQ(sim.Terminate(), 0);
    EXPECT_FALSE(std::filesystem::exists(registration)) << "removed on SIGTERM";
}

TEST(SimulatorProcess, ControlFifoAndSilence) {
    TempDir dir;
    auto fifo = dir.Path() / "control";
    SimProcess sim(dir.Path() / "ports", dir.Path() / "card", {"--control", fifo.string()});
    ASSERT_GT(sim.Pid(), 0);
    std::string first = sim.Line();
    ASSERT_EQ(first.rfind("kelvastra-sim: port ", 0), 0u) << first;
    int fd = OpenPort(first.substr(std::string("kelvastra-sim: port ").size()));
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(std::filesystem::exists(fifo)) << "the FIFO is made when missing";

    auto viaFifo = [&](const std::string& command) {
        int control = open(fifo.c_str(), O_WRONLY);
        ASSERT_GE(control, 0);
        std::string text = command + "\n";
        ASSERT_EQ(write(control, text.data(), text.size()), ssize_t(text.size()));
        close(control);
    };
    viaFifo("state 3");
    EXPECT_EQ(sim.Line(), "kelvastra-sim: ok state 3");
    EXPECT_EQ(Exchange(fd, "0?S\r"), "3\r");

    // A silent controller ignores what it is sent; it answers again afterwards.
    viaFifo("silence");
    EXPECT_EQ(sim.Line(), "kelvastra-sim: ok silence");
    ASSERT_EQ(write(fd, "0?S\r", 4), 4);
    EXPECT_EQ(ReadUntil(fd, '\r', 300), "");
    sim.Control("silence off");
    EXPECT_EQ(sim.Line(), "kelvastra-sim: ok silence off");
    EXPECT_EQ(Exchange(fd, "0?V\r"), "3866624\r");

    // Garbage lands in front of the next reply.
    sim.Control("garbage-hex 0a41");
    EXPECT_EQ(sim.Line(), "kelvastra-sim: ok garbage-hex 2");
    EXPECT_EQ(Exchange(fd, "0?S\r"), "\nA3\r");
    close(fd);

    sim.Control("quit");
    EXPECT_EQ(sim.Line(), "kelvastra-sim: ok quit");
    EXPECT_EQ(sim.Terminate(), 0);
    EXPECT_FALSE(std::filesystem::exists(fifo)) << "a FIFO the simulator made goes with it";
}

} // namespace
