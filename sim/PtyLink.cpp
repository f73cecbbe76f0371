#include "PtyLink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

PtyLink::~PtyLink() {
    Close();
}

bool PtyLink::Open(std::string* error) {
    Close();
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        if (error) {
            *error = std::string("openpty failed: ") + std::strerror(errno);
        }
        return false;
    }
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B115200);
        cfsetospeed(&tio, B115200);
        tcsetattr(slave, TCSANOW, &tio);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    char* name = ttyname(slave);
    m_path = name ? name : "";
    m_master = master;
    m_slave = slave;
    return true;
}

void PtyLink::Close() {
    if (m_master >= 0) {
        ::close(m_master);
    }
    if (m_slave >= 0) {
        ::close(m_slave);
    }
    m_master = m_slave = -1;
}

bool PtyLink::Read(std::string& out) {
    out.clear();
    if (m_master < 0) {
        return false;
    }
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        // EIO: nobody holds the slave; with our own slave fd open this means trouble.
        return n == 0 ? true : false;
    }
}

long PtyLink::Write(const std::string& bytes) {
    if (m_master < 0) {
        return -1;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        return -1;
    }
    return static_cast<long>(done);
}

} // namespace sim
