#include "devicelink/QtSerialChannel.h"

#include <QSerialPort>

#include <cerrno>
#include <cstring>

namespace {

// A write that the driver cannot drain within this time has failed.
constexpr int kWriteDrainMs = 20000;

// QSerialPort reports an error kind; errno usually still holds the system's own number, which is
// what the log shows. The kind stands in when errno was lost.
int ErrorNumberFor(QSerialPort::SerialPortError error, int savedErrno) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return savedErrno == ENOENT || savedErrno == ENODEV || savedErrno == ENXIO ? savedErrno
                                                                                   : ENOENT;
    case QSerialPort::PermissionError:
        return savedErrno == EACCES || savedErrno == EPERM || savedErrno == EBUSY ? savedErrno
                                                                                  : EACCES;
    case QSerialPort::OpenError:
        return EBUSY;
    case QSerialPort::TimeoutError:
        return ETIMEDOUT;
    case QSerialPort::UnsupportedOperationError:
        return savedErrno != 0 ? savedErrno : EINVAL;
    default:
        return savedErrno != 0 ? savedErrno : EIO;
    }
}

} // namespace

QtSerialChannel::QtSerialChannel() = default;

QtSerialChannel::~QtSerialChannel() = default;

void QtSerialChannel::Fail(int errorNumber) {
    m_lastError = errorNumber;
    m_lastErrorText = m_port ? m_port->errorString().toStdString() : std::strerror(errorNumber);
}

bool QtSerialChannel::Open(const std::string& portName, const SerialSettings& settings,
                           OpenFailure& failure) {
    if (m_port)
        Close();
    m_port = std::make_unique<QSerialPort>();
    m_port->setPortName(QString::fromStdString(portName));
    errno = 0;
    if (!m_port->open(QIODevice::ReadWrite)) {
        const int saved = errno;
        Fail(ErrorNumberFor(m_port->error(), saved));
        failure = OpenFailure{OpenStep::OpenPath, m_lastError, m_lastErrorText};
        m_port.reset();
        return false;
    }
    // The driver's queues and the time-outs are not port settings here: the read and write
    // waits are limits that Serial passes with every call, so only the line settings can fail.
    errno = 0;
    bool configured =
        m_port->setBaudRate(settings.baudRate) && m_port->setDataBits(QSerialPort::Data8) &&
        m_port->setParity(QSerialPort::NoParity) && m_port->setStopBits(QSerialPort::OneStop);
    if (configured && settings.assertDtr)
        configured = m_port->setDataTerminalReady(true);
    if (!configured) {
        const int saved = errno;
        Fail(ErrorNumberFor(m_port->error(), saved));
        failure = OpenFailure{OpenStep::WriteSettings, m_lastError, m_lastErrorText};
        return false;
    }
    return true;
}

int QtSerialChannel::Close() {
    if (m_port) {
        m_port->close();
        m_port.reset();
    }
    return 0;
}

long long QtSerialChannel::Write(const char* data, std::size_t length) {
    if (!m_port) {
        m_lastError = EBADF;
        m_lastErrorText = std::strerror(EBADF);
        return -1;
    }
    errno = 0;
    const qint64 queued = m_port->write(data, static_cast<qint64>(length));
    if (queued < 0) {
        Fail(ErrorNumberFor(m_port->error(), errno));
        return -1;
    }
    while (m_port->bytesToWrite() > 0) {
        if (!m_port->waitForBytesWritten(kWriteDrainMs)) {
            Fail(ErrorNumberFor(m_port->error(), errno));
            return -1;
        }
    }
    return queued;
}

long long QtSerialChannel::Read(char* buffer, std::size_t maxBytes, int timeoutMs) {
    if (!m_port) {
        m_lastError = EBADF;
        m_lastErrorText = std::strerror(EBADF);
        return -1;
    }
    if (m_port->bytesAvailable() == 0) {
        errno = 0;
        if (!m_port->waitForReadyRead(timeoutMs)) {
            const QSerialPort::SerialPortError error = m_port->error();
            if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) {
                m_port->clearError();
                return 0;
            }
            Fail(ErrorNumberFor(error, errno));
            return -1;
        }
    }
    const qint64 n = m_port->read(buffer, static_cast<qint64>(maxBytes));
    if (n < 0) {
        Fail(ErrorNumberFor(m_port->error(), errno));
        return -1;
    }
    return n;
}
