// The module's error log: consistency errors are recorded here before they are thrown, so that a
// program that wants them (a log file, a test) can subscribe a listener. Nothing is subscribed by
// default, so the text goes nowhere.
#pragma once

#include <stdexcept>
#include <string>

namespace gte {

class Logger {
public:
    // A report receiver; it says which kinds of report it wants.
    class Listener {
    public:
        enum : int {
            LISTEN_FOR_NOTHING = 0x00000000,
            LISTEN_FOR_ASSERTION = 0x00000001,
            LISTEN_FOR_ERROR = 0x00000002,
            LISTEN_FOR_ALL = -1
        };

        explicit Listener(int flags = LISTEN_FOR_NOTHING) : m_flags(flags) {}
        virtual ~Listener() = default;

        int GetFlags() const { return m_flags; }
        bool AssertionsAreHeard() const { return (m_flags & LISTEN_FOR_ASSERTION) != 0; }
        bool ErrorsAreHeard() const { return (m_flags & LISTEN_FOR_ERROR) != 0; }

        void Assertion(const std::string& text) { Report(text); }
        void Error(const std::string& text) { Report(text); }

    private:
        virtual void Report(const std::string& text) = 0;

        int m_flags;
    };

    // Composes the report text for a failure at file/function/line.
    Logger(const char* file, const std::string& function, int line, const std::string& message);

    // Hand the report to every listener that asked for that kind.
    void Assertion();
    void Error();

    const std::string& GetMessage() const { return m_message; }

    static void Subscribe(Listener* listener);
    static void Unsubscribe(Listener* listener);

private:
    std::string m_message;
};

// The name of a real type inside routine names ("gte::GVector<double>::SetSize").
template <typename Real> constexpr const char* RealName() {
    return "Real";
}
template <> constexpr const char* RealName<double>() {
    return "double";
}
template <> constexpr const char* RealName<float>() {
    return "float";
}

// Records an error and throws it; the exception carries only the message.
[[noreturn]] inline void ThrowError(const char* file, const std::string& function, int line,
                                    const std::string& message) {
    Logger(file, function, line, message).Error();
    throw std::runtime_error(message);
}

[[noreturn]] inline void ThrowAssertion(const char* file, const std::string& function, int line,
                                        const std::string& message) {
    Logger(file, function, line, message).Assertion();
    throw std::invalid_argument(message);
}

} // namespace gte
