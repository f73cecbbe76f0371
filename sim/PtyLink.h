// The simulator's end of a pseudo-terminal pair: the program opens the slave path as its serial
// port, the simulator reads and writes the master.
#pragma once

#include <string>

namespace sim {

class PtyLink {
public:
    PtyLink() = default;
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    // Opens a new pair in raw mode; false with `error` set on failure.
    bool Open(std::string* error = nullptr);
    void Close();
    bool IsOpen() const { return m_master >= 0; }
    int MasterFd() const { return m_master; }
    const std::string& SlavePath() const { return m_path; }

    // Non-blocking: what has arrived (may be empty); false when the master failed.
    bool Read(std::string& out);
    // Writes what the terminal takes now; returns the count written, -1 on failure.
    long Write(const std::string& bytes);

private:
    int m_master = -1;
    int m_slave = -1; // held open so that the master keeps working while no program has it
    std::string m_path;
};

} // namespace sim
