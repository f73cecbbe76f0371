// Shared helpers of the test programs: private temporary folders, whole-file reads and writes,
// the Qt core application the serial port needs, and kelvastra-sim run as a child process.
#pragma once

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ChildProcess.h"
#endif

#ifdef QT_CORE_LIB
#include <QCoreApplication>
#include <QThread>
#endif

// A step that needs what only POSIX systems have ends the test there on Windows, which is then
// counted as skipped, with the reason printed.
#if defined(_WIN32)
#define SKIP_ON_WINDOWS(reason) GTEST_SKIP() << reason
#else
#define SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif

inline bool MakeFifo(const std::filesystem::path& path) {
#if defined(_WIN32)
    static_cast<void>(path);
    return false;
#else
    return ::mkfifo(path.c_str(), 0600) == 0;
#endif
}

// Local time becomes UTC for the rest of the test program.
inline void UseUtcAsLocalTime() {
#if defined(_WIN32)
    _putenv_s("TZ", "UTC0");
    _tzset();
#else
    ::setenv("TZ", "UTC", 1);
    ::tzset();
#endif
}

inline long long TestProcessId() {
#if defined(_WIN32)
    return _getpid();
#else
    return ::getpid();
#endif
}

// A fresh folder per object, removed with it; unique per process and call so that tests can run
// in parallel.
class TempFolder {
public:
    explicit TempFolder(const std::string& tag = "test") {
        static std::atomic<int> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("kelvastra-" + tag + "-" + std::to_string(TestProcessId()) + "-" +
                  std::to_string(counter++));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

#ifdef QT_CORE_LIB
// A test's worker thread. It is a QThread, as the serial port wants, and its end is ordered
// before what follows Wait() in a way the thread checker sees: Qt's own end-of-thread signal is
// invisible to it, so the body's last act is a release that Wait() acquires.
class TestThread {
public:
    explicit TestThread(std::function<void()> body)
        : m_thread(QThread::create([this, body = std::move(body)] {
              body();
              m_done.store(true, std::memory_order_release);
          })) {
        m_thread->start();
    }
    ~TestThread() { Wait(); }
    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;
    void Wait() {
        m_thread->wait();
        (void)m_done.load(std::memory_order_acquire);
    }

private:
    std::atomic<bool> m_done{false};
    std::unique_ptr<QThread> m_thread;
};

inline void EnsureCoreApplication() {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "kelvastra-test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
}
#endif

#if !defined(_WIN32) // the programs and the simulator run on POSIX systems only
struct CliRun {
    int status = -1;
    std::string output; // standard output
    std::string errors; // standard error
};

inline std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs kelvastra-cli with `arguments` (quoted for the shell by the caller), `input` on its
// standard input and `environment` ("NAME=value ...") in front; its files go to `scratch`.
inline CliRun RunCli(const std::filesystem::path& scratch, const std::string& arguments,
                     const std::string& input = "", const std::string& environment = "") {
    const auto in = scratch / "cli-stdin.txt";
    const auto out = scratch / "cli-stdout.txt";
    const auto err = scratch / "cli-stderr.txt";
    WriteFile(in, input);
    const std::string command = environment + " " +
                                ShellQuote(KELVASTRA_BINARY_DIR "/src/kelvastra-cli") + " " +
                                arguments + " <" + ShellQuote(in.string()) + " >" +
                                ShellQuote(out.string()) + " 2>" + ShellQuote(err.string());
    CliRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.output = ReadFile(out);
    run.errors = ReadFile(err);
    return run;
}

#ifdef QT_CORE_LIB
// Runs kelvastra-sim with its own card folder and registration folder, the port path from its
// first line, and control commands through its standard input.
class LinkSimProcess {
public:
    // Starts the simulator with `options` added to its command line. Check Started(). Given a
    // registration folder (another simulator's), it registers there.
    explicit LinkSimProcess(const std::vector<std::string>& options = {},
                            const std::string& simulator = DefaultSimulator(),
                            const std::filesystem::path& ports = {})
        : m_root(m_folder.Path()), m_card(m_root / "card"),
          m_ports(ports.empty() ? m_root / "ports" : ports) {
        EnsureCoreApplication();
        ::signal(SIGPIPE, SIG_IGN); // a simulator that has gone must not take the test along
        std::vector<std::string> arguments{"--card", m_card.string(), "--ports-dir",
                                           m_ports.string(), "--quiet"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        if (!m_process.Start(simulator, arguments, {"KELVASTRA_PORTS_DIR=" + m_ports.string()}))
            return;
        const std::string prefix = "kelvastra-sim: port ";
        const std::string first = ReadLine(20000);
        if (first.rfind(prefix, 0) == 0)
            m_port = first.substr(prefix.size());
    }
    ~LinkSimProcess() {
        if (!m_process.Running())
            return;
        Send("quit");
        if (m_process.Wait(5000) < 0) {
            m_process.Signal(SIGKILL);
            m_process.Wait(5000);
        }
    }
    LinkSimProcess(const LinkSimProcess&) = delete;
    LinkSimProcess& operator=(const LinkSimProcess&) = delete;

    static std::string DefaultSimulator() { return KELVASTRA_BINARY_DIR "/sim/kelvastra-sim"; }

    bool Started() { return m_process.Running() && !m_port.empty(); }
    const std::string& Port() const { return m_port; }
    const std::filesystem::path& Card() const { return m_card; }
    // A private folder of this simulator, with the card and the registration folder in it.
    const std::filesystem::path& Root() const { return m_root; }
    const std::filesystem::path& PortsFolder() const { return m_ports; }

    // kelvastra-cli with this simulator's registration folder, so that discovery finds it.
    CliRun Cli(const std::string& arguments) const {
        return RunCli(m_root, arguments, "", "KELVASTRA_PORTS_DIR=" + ShellQuote(m_ports.string()));
    }

    // Sends one control command and returns the simulator's "ok ..." or "error ..." answer.
    std::string Control(const std::string& command) {
        Send(command);
        const std::string prefix = "kelvastra-sim: ";
        for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) {
            if (line.rfind(prefix + "ok", 0) == 0 || line.rfind(prefix + "error", 0) == 0)
                return line.substr(prefix.size());
        }
        return {};
    }

    void Send(const std::string& command) { m_process.Write(command + "\n"); }

    // One line of the simulator's standard output, empty after `ms` without one.
    std::string ReadLine(int ms = 10000) { return m_process.ReadLine(ms); }

    // Ends the simulator with SIGTERM and gives its exit status (-1 when a signal ended it).
    int Terminate() {
        m_process.Signal(SIGTERM);
        const int status = m_process.Wait(10000);
        return m_process.EndedBySignal() ? -1 : status;
    }

private:
    TempFolder m_folder{"sim"};
    std::filesystem::path m_root;
    std::filesystem::path m_card;
    std::filesystem::path m_ports;
    ChildProcess m_process;
    std::string m_port;
};
#endif
#endif
