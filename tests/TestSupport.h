// Shared helpers of the test programs: private temporary folders, whole-file reads and writes,
// the Qt core application the serial port needs, and kelvastra-sim run as a child process.
#pragma once

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef QT_CORE_LIB
#include <QCoreApplication>
#endif

extern char** environ;

// A fresh folder per object, removed with it; unique per process and call so that tests can run
// in parallel.
class TempFolder {
public:
    explicit TempFolder(const std::string& tag = "test") {
        static std::atomic<int> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("kelvastra-" + tag + "-" + std::to_string(::getpid()) + "-" +
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
inline void EnsureCoreApplication() {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "kelvastra-test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
}
#endif

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

// Runs kelvastra-sim with its own card folder and registration folder, the port path from its
// first line, and control commands through its standard input.
class LinkSimProcess {
public:
    // Starts the simulator with `options` added to its command line. Check Started().
    explicit LinkSimProcess(const std::vector<std::string>& options = {},
                            std::string simulator = DefaultSimulator()) {
        ::signal(SIGPIPE, SIG_IGN); // a simulator that has gone must not take the test along
        m_root = m_folder.Path();
        m_card = m_root / "card";
        m_ports = m_root / "ports";

        int toChild[2];
        int fromChild[2];
        if (::pipe(toChild) != 0)
            return;
        if (::pipe(fromChild) != 0) {
            ::close(toChild[0]);
            ::close(toChild[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);

        std::vector<std::string> args{simulator,     "--card",         m_card.string(),
                                      "--ports-dir", m_ports.string(), "--quiet"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);

        std::vector<std::string> env{"KELVASTRA_PORTS_DIR=" + m_ports.string()};
        for (char** e = environ; *e; ++e) {
            if (std::strncmp(*e, "KELVASTRA_PORTS_DIR=", 20) != 0)
                env.emplace_back(*e);
        }
        std::vector<char*> envp;
        for (auto& entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);

        const int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        m_in = toChild[1];
        m_out = fromChild[0];
        if (rc != 0) {
            m_pid = -1;
            return;
        }
        const std::string first = ReadLine(20000);
        const std::string prefix = "kelvastra-sim: port ";
        if (first.rfind(prefix, 0) == 0)
            m_port = first.substr(prefix.size());
    }

    ~LinkSimProcess() {
        if (m_pid > 0) {
            Send("quit");
            if (!WaitForExit(5000)) {
                ::kill(m_pid, SIGKILL);
                WaitForExit(5000);
            }
        }
        if (m_in >= 0)
            ::close(m_in);
        if (m_out >= 0)
            ::close(m_out);
    }

    LinkSimProcess(const LinkSimProcess&) = delete;
    LinkSimProcess& operator=(const LinkSimProcess&) = delete;

    static std::string DefaultSimulator() {
#ifdef KELVASTRA_BINARY_DIR
        return KELVASTRA_BINARY_DIR "/sim/kelvastra-sim";
#else
        return "kelvastra-sim";
#endif
    }

    bool Started() const {
        return m_pid > 0 && !m_port.empty();
    }
    const std::string& Port() const {
        return m_port;
    }
    const std::filesystem::path& Card() const {
        return m_card;
    }
    // A private folder of this simulator, with the card and the registration folder in it.
    const std::filesystem::path& Root() const {
        return m_root;
    }
    const std::filesystem::path& PortsFolder() const {
        return m_ports;
    }

    // kelvastra-cli with this simulator's registration folder, so that discovery finds it.
    CliRun Cli(const std::string& arguments) const {
        return RunCli(m_root, arguments, "", "KELVASTRA_PORTS_DIR=" + ShellQuote(m_ports.string()));
    }

    // Sends one control command and returns the simulator's "ok ..." or "error ..." answer.
    std::string Control(const std::string& command) {
        Send(command);
        for (;;) {
            const std::string line = ReadLine(10000);
            if (line.empty())
                return {};
            const std::string prefix = "kelvastra-sim: ";
            if (line.rfind(prefix + "ok", 0) == 0 || line.rfind(prefix + "error", 0) == 0)
                return line.substr(prefix.size());
        }
    }

    pid_t Pid() const {
        return m_pid;
    }

    void Send(const std::string& command) {
        const std::string line = command + "\n";
        if (m_in >= 0) {
            [[maybe_unused]] const ssize_t written = ::write(m_in, line.data(), line.size());
        }
    }

    // One line of the simulator's standard output, empty after `ms` without one.
    std::string ReadLine(int ms = 10000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            const std::size_t end = m_buffer.find('\n');
            if (end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || m_out < 0)
                return {};
            pollfd fd{m_out, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
                return {};
            char chunk[512];
            const ssize_t n = ::read(m_out, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Ends the simulator with SIGTERM and gives its exit status.
    int Terminate() {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    bool WaitForExit(int ms) {
        for (int waited = 0; waited <= ms; waited += 10) {
            int status = 0;
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid || (done < 0 && errno == ECHILD)) {
                m_pid = -1;
                return true;
            }
            ::usleep(10000);
        }
        return false;
    }

    TempFolder m_folder{"sim"};
    std::filesystem::path m_root;
    std::filesystem::path m_card;
    std::filesystem::path m_ports;
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
    std::string m_port;
};
