// A child program with pipes to its standard input, output and error, started with fork and
// exec. QProcess starts its children with a clone that shares the parent's memory until exec;
// the thread checker cannot follow that and loses track of the test's own threads, so tests
// that run under it start their programs here.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() {
        if (Signal(SIGKILL))
            Wait(5000);
        for (int fd : {m_in, m_out, m_err})
            if (fd >= 0)
                ::close(fd);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with `arguments`. `environment` holds "NAME=value" entries that are
    // added or replace this process's, and bare "NAME" entries that are removed.
    bool Start(const std::string& program, std::vector<std::string> arguments,
               const std::vector<std::string>& environment = {}) {
        if (::access(program.c_str(), X_OK) != 0)
            return false;
        std::vector<std::string> env;
        for (char** entry = environ; *entry; ++entry)
            env.emplace_back(*entry);
        for (const std::string& change : environment) {
            const std::string name = change.substr(0, change.find('=')) + "=";
            std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
            if (change.size() >= name.size())
                env.push_back(change);
        }
        arguments.insert(arguments.begin(), program);
        std::vector<char*> argv, envp;
        for (std::string& a : arguments)
            argv.push_back(a.data());
        for (std::string& e : env)
            envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC))
            return false;
        m_pid = ::fork();
        if (m_pid == 0) { // only what is safe between fork and exec
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        for (int fd : {in[0], out[1], err[1]})
            ::close(fd);
        m_in = in[1];
        m_out = out[0];
        m_err = err[0];
        return m_pid > 0;
    }

    bool Running() {
        int raw = 0;
        if (m_pid > 0 && !m_exited && ::waitpid(m_pid, &raw, WNOHANG) == m_pid) {
            m_exited = true;
            m_signalled = !WIFEXITED(raw);
            m_status = m_signalled ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw);
        }
        return m_pid > 0 && !m_exited;
    }

    bool Write(const std::string& text) {
        return ::write(m_in, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    void CloseInput() {
        ::close(m_in);
        m_in = -1;
    }

    // One line of standard output without its line end; empty after `ms` without one.
    std::string ReadLine(int ms) {
        const auto deadline = Deadline(ms);
        size_t end;
        while ((end = m_outBuffer.find('\n')) == std::string::npos)
            if (!Fill(m_out, m_outBuffer, deadline))
                return {};
        std::string line = m_outBuffer.substr(0, end);
        m_outBuffer.erase(0, end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        return line;
    }

    // Everything the program writes to standard output or error until it closes it.
    std::string AllOutput(int ms = 10000) { return ReadToEnd(m_out, m_outBuffer, ms); }
    std::string AllErrors(int ms = 10000) { return ReadToEnd(m_err, m_errBuffer, ms); }

    bool Signal(int signal) { return Running() && ::kill(m_pid, signal) == 0; }

    // The exit status, 128 + the signal that ended it, or -1 when it runs on after `ms`.
    int Wait(int ms) {
        for (const auto deadline = Deadline(ms);
             Running() && std::chrono::steady_clock::now() < deadline;)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return m_exited ? m_status : -1;
    }
    // Whether a signal ended it, rather than its own exit.
    bool EndedBySignal() const { return m_signalled; }

private:
    using Clock = std::chrono::steady_clock;
    static Clock::time_point Deadline(int ms) {
        return Clock::now() + std::chrono::milliseconds(ms);
    }

    // Appends what arrives on `fd` before `deadline`; false at its end or past the deadline.
    static bool Fill(int fd, std::string& buffer, Clock::time_point deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd polled{fd, POLLIN, 0};
        if (fd < 0 || left.count() <= 0)
            return false;
        const int ready = ::poll(&polled, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            return true;
        if (ready <= 0)
            return false;
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0)
            buffer.append(chunk, static_cast<size_t>(n));
        return n > 0;
    }

    static std::string ReadToEnd(int fd, std::string& buffer, int ms) {
        for (const auto deadline = Deadline(ms); Fill(fd, buffer, deadline);) {
        }
        std::string all;
        all.swap(buffer);
        return all;
    }

    pid_t m_pid = -1;
    int m_in = -1, m_out = -1, m_err = -1;
    bool m_exited = false, m_signalled = false;
    int m_status = -1;
    std::string m_outBuffer, m_errBuffer;
};
