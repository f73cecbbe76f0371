#include "mathematics/Logger.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace gte {

namespace {

// The registry is created on first use so that logging during static initialisation works.
struct Registry {
    std::mutex mutex;
    std::vector<Logger::Listener*> listeners;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

} // namespace

Logger::Logger(const char* file, const std::string& function, int line,
               const std::string& message) {
    m_message = "File: ";
    m_message += file;
    m_message += "\nFunc: ";
    m_message += function;
    m_message += "\nLine: ";
    m_message += std::to_string(line);
    m_message += "\n";
    m_message += message;
    m_message += "\n\n";
}

void Logger::Assertion() {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (Listener* listener : registry.listeners) {
        if (listener->AssertionsAreHeard()) {
            listener->Assertion("\nGTE ASSERTION:\n" + m_message);
        }
    }
}

void Logger::Error() {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (Listener* listener : registry.listeners) {
        if (listener->ErrorsAreHeard()) {
            listener->Error("\nGTE ERROR:\n" + m_message);
        }
    }
}

void Logger::Subscribe(Listener* listener) {
    if (listener == nullptr) {
        return;
    }
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (std::find(registry.listeners.begin(), registry.listeners.end(), listener) ==
        registry.listeners.end()) {
        registry.listeners.push_back(listener);
    }
}

void Logger::Unsubscribe(Listener* listener) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.listeners.erase(
        std::remove(registry.listeners.begin(), registry.listeners.end(), listener),
        registry.listeners.end());
}

} // namespace gte
