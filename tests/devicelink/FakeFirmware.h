// A small stand-in for the controller's firmware behind the scripted channel: it answers the
// command lines the program writes, keeps card files in memory and records every command line.
// As on the card, a write appends to a file that exists, and a missing file is "Error 3".
#pragma once

#include "devicelink/ScriptedSerialChannel.h"

#include <array>
#include <cctype>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

class FakeFirmware {
public:
    explicit FakeFirmware(ScriptedSerialChannel& line) {
        line.SetResponder([this](ScriptedSerialChannel& channel, const std::string& bytes) {
            m_buffer += bytes;
            std::size_t end;
            while ((end = m_buffer.find('\r')) != std::string::npos) {
                const std::string commandLine = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                commands.push_back(commandLine);
                auto stray = strayBefore.find(commandLine);
                const bool late = stray != strayBefore.end();
                if (late) {
                    channel.Receive(stray->second);
                    strayBefore.erase(stray);
                }
                OnLine(channel, commandLine);
                if (late)
                    channel.MarkArrived();
            }
        });
    }

    std::map<std::string, std::string> files;
    std::array<std::string, 5> records{"R0", "R1", "VERSION 4.05", "Hardware = 1250", "R4"};
    int runState = 0;
    std::array<int, 10> readings{};         // "0?D n"
    std::vector<std::string> listing;       // "0L" lines (line feeds added)
    std::vector<std::string> programLines;  // what "0P" received
    std::vector<std::string> readBackLines; // what "0I" answers, before the end line
    std::vector<std::string> traceLines;    // what "0Z" answers
    // Replies that replace the normal answer to a command line, used once each in order.
    std::map<std::string, std::deque<std::string>> overrides;
    // Bytes sent in front of the reply to a command line, once: a reply that came late. The
    // reply behind them has arrived by the time the program reads on.
    std::map<std::string, std::string> strayBefore;
    std::vector<std::string> commands;
    // Files whose delete the card refuses ("Error 4").
    std::set<std::string> undeletable;
    // From this command line on nothing is answered, as when the link is lost.
    std::string cutAt;

private:
    void OnLine(ScriptedSerialChannel& channel, const std::string& line) {
        m_cut = m_cut || (!cutAt.empty() && line == cutAt);
        if (m_cut)
            return;
        auto over = overrides.find(line);
        if (over != overrides.end() && !over->second.empty()) {
            channel.Receive(over->second.front());
            over->second.pop_front();
            return;
        }
        if (m_writing) {
            if (line == "\x17")
                m_writing = false;
            else
                files[m_writeName] += line;
            channel.Receive("OK\r");
            return;
        }
        if (m_programming) {
            if (line == "\x17")
                m_programming = false;
            else
                programLines.push_back(line);
            channel.Receive("OK\r");
            return;
        }
        if (line.rfind("0?R ", 0) == 0) {
            const int index = line[4] - '0';
            channel.Receive((index >= 0 && index < 5 ? records[index] : "Error 3") + "\r");
        } else if (line == "0?S") {
            channel.Receive(std::to_string(runState) + "\r");
        } else if (line.rfind("0?D ", 0) == 0 && line.size() == 5 &&
                   std::isdigit(static_cast<unsigned char>(line[4]))) {
            channel.Receive(std::to_string(readings[static_cast<std::size_t>(line[4] - '0')]) +
                            "\r");
        } else if (line.rfind("0A ", 0) == 0 || line.rfind("0R ", 0) == 0 || line == "0H") {
            channel.Receive("OK\r");
        } else if (line.rfind("0F ", 0) == 0) {
            auto file = files.find(line.substr(3));
            channel.Receive(file != files.end() ? "OK\r" : "Error 3\r");
            if (file != files.end())
                channel.Receive(file->second);
            channel.Receive("\x17");
        } else if (line.rfind("0W ", 0) == 0) {
            m_writing = true;
            m_writeName = line.substr(3);
            files[m_writeName]; // created at once
            channel.Receive("OK\r");
        } else if (line.rfind("0X ", 0) == 0) {
            const std::string name = line.substr(3);
            channel.Receive("OK\r");
            if (!files.count(name))
                channel.Receive("Error 3\r");
            else if (undeletable.count(name))
                channel.Receive("Error 4\r");
            else {
                files.erase(name);
                channel.Receive("Deleted\r");
            }
        } else if (line == "0P") {
            m_programming = true;
            channel.Receive("OK\r");
        } else if (line == "0I") {
            channel.Receive("OK\r");
            for (const auto& entry : readBackLines)
                channel.Receive(entry + "\r");
            channel.Receive("\x17\r");
        } else if (line == "0L") {
            channel.Receive("OK\r");
            for (const auto& entry : listing)
                channel.Receive(entry + "\n");
            channel.Receive("\x17");
        } else if (line.rfind("0Z ", 0) == 0) {
            channel.Receive("OK\r");
            for (const auto& entry : traceLines)
                channel.Receive(entry + "\n");
            channel.Receive("\x17");
        } else {
            channel.Receive("Error 1\r");
        }
    }

    std::string m_buffer;
    bool m_cut = false;
    bool m_writing = false;
    bool m_programming = false;
    std::string m_writeName;
};
