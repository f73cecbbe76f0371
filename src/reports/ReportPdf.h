// Printouts for the lab notebook as PDF: the test report of a result folder (what ran, on what
// hardware, and per set how far each well moved and with what force) and a protocol on one
// page. Drawn with QPainter only, so the command-line program needs no widgets; pages are A4.
#pragma once

#include "hardware/HardwareDescription.h"
#include "protocol/SetRecord.h"
#include "recordings/SummaryTable.h"

#include <QByteArray>
#include <QColor>

#include <filesystem>
#include <optional>
#include <string>

// One colour per well (1..9), shared by the plots and the printed pictures.
QColor WellColour(int well);

struct ProtocolPrintout {
    std::string name; // the file's name without its folder
    SetSequence sequence;
    std::optional<HardwareDescription> hardware; // from the file's "##HARDWARE" block
};

// Reads a protocol file for printing. False with a message when it cannot be read.
bool ReadProtocolPrintout(const std::filesystem::path& path, ProtocolPrintout& printout,
                          std::string& error);

struct TestReportContent {
    std::string displayName; // "MyTest_0001"
    std::string cardName;    // the card file the result folder was made for, when it says
    std::string dataDate;    // when known
    std::string serial;      // when known
    std::string firmware;    // when known
    std::optional<ProtocolPrintout> protocol;
    SummaryTable summary;
    std::string summaryProblem; // why there is no summary, when there is none
};

// What a result folder holds for a report: the converted file's name, the card file named in
// "TestLogs", the protocol copy and the per-cycle summary (or, without one, what the full file
// gives). False with a message when the folder holds no converted test.
bool GatherTestReport(const std::filesystem::path& resultFolder, TestReportContent& content,
                      std::string& error);
// Where a report of a result folder goes unless told otherwise: "<test>_Report.pdf" inside it.
std::filesystem::path DefaultReportPath(const std::filesystem::path& resultFolder,
                                        const TestReportContent& content);

QByteArray TestReportPdf(const TestReportContent& content);
QByteArray ProtocolPdf(const ProtocolPrintout& printout);

// Gathers, draws and writes (atomically) the report of a result folder; `out` empty means the
// default path, which `written` receives. False with a message on failure.
bool WriteTestReport(const std::filesystem::path& resultFolder, const std::filesystem::path& out,
                     std::filesystem::path& written, std::string& error);
bool WriteProtocolPdf(const std::filesystem::path& protocolFile, const std::filesystem::path& out,
                      std::string& error);
bool WriteProtocolPdf(const ProtocolPrintout& printout, const std::filesystem::path& out,
                      std::string& error);
