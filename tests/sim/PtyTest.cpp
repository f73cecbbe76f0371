// The simulator binary over a real pseudo-terminal: the port announcement, its registration,
// replies on the line, control commands on standard input and a FIFO, unplug/replug and the
// clean-up on SIGTERM. A transfer dropped mid-way runs in tests/integration/LinkSimTest.cpp.
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <termios.h>

namespace {

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
        if (left <= 0 || poll(&p, 1, left) <= 0)
            break;
        char c;
        ssize_t n = read(fd, &c, 1);
        if (n <= 0) {
            if (dead)
                *dead = true;
            break;
        }
        got += c;
    }
    return got;
}

std::string Exchange(int fd, const std::string& command, char end = '\r') {
    if (write(fd, command.data(), command.size()) != ssize_t(command.size()))
        return "(write failed)";
    return ReadUntil(fd, end);
}

TEST(SimulatorProcess, AnswersOnItsPtyAndRegistersAndUnregistersThePort) {
    LinkSimProcess sim({"--serial", "A1"});
    ASSERT_TRUE(sim.Started());
    std::string port = sim.Port();
    ASSERT_EQ(port.rfind("/dev/", 0), 0u) << port;

    auto registration = sim.PortsFolder() / ("sim-" + std::to_string(sim.Pid()) + ".port");
    ASSERT_TRUE(std::filesystem::exists(registration));
    EXPECT_EQ(ReadFile(registration), "port=" + port +
                                          "\ndescription=Adafruit Kelvastra Simulator\n"
                                          "hardwareId=USB\\VID_239A&PID_800B\nlocation=" +
                                          port + "\npid=" + std::to_string(sim.Pid()) +
                                          "\nserial=A1\n");

    int fd = OpenPort(port);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, "0?R 1\r"), "Serial Number A1\r");
    EXPECT_EQ(Exchange(fd, "0?R 2\r"), "Firmware Version 4.050\r");
    EXPECT_EQ(Exchange(fd, "0?S\r"), "0\r");

    // Unplug removes the registration and kills the line; replug brings a new one.
    EXPECT_EQ(sim.Control("unplug"), "ok unplug");
    EXPECT_FALSE(std::filesystem::exists(registration));
    bool dead = false;
    ReadUntil(fd, '\r', 2000, &dead);
    EXPECT_TRUE(dead);
    close(fd);
    const std::string again = sim.Control("replug");
    ASSERT_EQ(again.rfind("ok replug /dev/", 0), 0u) << again;
    EXPECT_TRUE(std::filesystem::exists(registration));
    port = again.substr(std::string("ok replug ").size());
    fd = OpenPort(port);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, "0?V\r"), "3866624\r");
    close(fd);
    EXPECT_EQ(sim.Terminate(), 0);
    EXPECT_FALSE(std::filesystem::exists(registration)) << "removed on SIGTERM";
}

TEST(SimulatorProcess, TakesControlCommandsFromAFifo) {
    TempFolder dir;
    auto fifo = dir.Path() / "control";
    LinkSimProcess sim({"--control", fifo.string()});
    ASSERT_TRUE(sim.Started());
    int fd = OpenPort(sim.Port());
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
    EXPECT_EQ(sim.ReadLine(), "kelvastra-sim: ok state 3");
    EXPECT_EQ(Exchange(fd, "0?S\r"), "3\r");
    close(fd);

    EXPECT_EQ(sim.Control("quit"), "ok quit");
    EXPECT_EQ(sim.Terminate(), 0);
    EXPECT_FALSE(std::filesystem::exists(fifo)) << "a FIFO the simulator made goes with it";
}

} // namespace
