// program and read: a protocol file into the controller, and the controller's program back out as
// a protocol table, through the same document operations as the desktop program's Program Device
// and Read Device.
#include "cli/Commands.h"

#include "common/AtomicFile.h"
#include "common/MessageLog.h"
#include "devicelink/DeviceSession.h"
#include "document/HeadlessView.h"
#include "document/KelvastraDoc.h"
#include "protocol/ProtocolTable.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

namespace {

constexpr const char* kProgramSuccess = "\nProgramming Device... Success\n";
constexpr const char* kReadSuccess = "\nReading Device... Success\n";

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void Fail(CliContext& context, const std::string& message) {
    std::cerr << "kelvastra-cli: " << message << "\n";
    context.exitCode = 1;
}

// The document with a view and message boxes that print: the view's messages (and the link's,
// through the message log) to `messages`, the sequence check and the boxes to standard error.
class HeadlessDocument {
public:
    explicit HeadlessDocument(std::ostream& messages) : m_prompt(&std::cerr), m_view(m_doc) {
        m_view.SetEcho(&messages, &std::cerr);
        m_doc.SetView(&m_view);
        m_doc.SetPrompt(&m_prompt);
        // A script is not asked: the warning about changed values goes to standard error.
        m_doc.SetAskBeforeChangedValues(false);
        // The view prints what it is given, so the log must not print it a second time.
        MessageLog::Instance().SetEchoToStdout(false);
        m_doc.BindMessageLog();
    }
    ~HeadlessDocument() {
        m_doc.m_controller.serial.Close();
        m_doc.SetView(nullptr);
        MessageLog::Instance().SetEchoToStdout(true);
    }
    HeadlessDocument(const HeadlessDocument&) = delete;
    HeadlessDocument& operator=(const HeadlessDocument&) = delete;

    // The port chosen as every subcommand chooses it, and the link set up as the connection
    // watch sets it up.
    bool Open(const std::string& port, std::string& error) {
        if (!DeviceSession::ChoosePort(m_doc.m_controller, port, error))
            return false;
        if (m_doc.SetUpLink())
            return true;
        error =
            Controller::ConnectFailureText(m_doc.LastConnectResult(), m_doc.m_controller.portName);
        return false;
    }

    CKelvastraDoc& Doc() { return m_doc; }
    HeadlessStageView& View() { return m_view; }

private:
    CKelvastraDoc m_doc;
    HeadlessPrompt m_prompt;
    HeadlessStageView m_view;
};

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return !in.bad();
}

void RunProgram(CliContext& context, const std::string& file, const std::string* name) {
    std::string text;
    if (!ReadWholeFile(file, text)) {
        Fail(context, "cannot read " + file);
        return;
    }
    HeadlessDocument headless(std::cout);
    CKelvastraDoc& doc = headless.Doc();
    std::string error;
    if (!headless.Open(context.port, error)) {
        Fail(context, error);
        return;
    }
    // Read after the link is up, as File Open is: a hardware block in the file then wins over
    // the description the device holds.
    SetSequence sequence;
    const ProtocolReadResult read = ReadProtocolText(text, sequence, &doc.m_controller.hardware);
    if (!read.Complete()) {
        // Half a protocol is not programmed from a script.
        std::cerr << ProtocolReadWarning(read);
        Fail(context, file + " was not programmed");
        return;
    }
    headless.View().SetWorkingSequence(sequence);
    if (name)
        headless.View().SetTestName(*name);
    doc.ProgramDevice();
    if (!EndsWith(headless.View().MessageArea(), kProgramSuccess))
        Fail(context, "the device was not programmed");
}

void RunRead(CliContext& context, const std::string& out) {
    // With the table on standard output the messages keep out of its way.
    HeadlessDocument headless(out.empty() ? std::cerr : std::cout);
    CKelvastraDoc& doc = headless.Doc();
    std::string error;
    if (!headless.Open(context.port, error)) {
        Fail(context, error);
        return;
    }
    doc.ReadDevice();
    if (!EndsWith(headless.View().MessageArea(), kReadSuccess)) {
        Fail(context, "the device's program could not be read");
        return;
    }
    const std::string table = ProtocolTableText(doc.m_sequence);
    if (out.empty()) {
        std::cout << table;
        std::cout.flush();
        return;
    }
    // Written beside the target and renamed: a full disk never leaves half a table.
    if (!WriteFileAtomically(out, table, &error))
        Fail(context, "cannot write " + out + ": " + error);
}

} // namespace

void AddProgramCommands(CLI::App& app, CliContext& context) {
    auto* program = app.add_subcommand(
        "program", "Check a protocol file and program it into the controller (TEMPLATE.INI, "
                   "NAME.INI and the program table)");
    auto file = std::make_shared<std::string>();
    auto name = std::make_shared<std::string>();
    program->add_option("FILE", *file, "protocol file (.tmt)")->required();
    auto* nameOption =
        program->add_option("--name", *name, "test name for NAME.INI (default: the device's)");
    program->callback([&context, file, name, nameOption] {
        RunProgram(context, *file, nameOption->count() > 0 ? name.get() : nullptr);
    });

    auto* read = app.add_subcommand(
        "read", "Read the controller's program table and write it as a protocol table");
    auto out = std::make_shared<std::string>();
    read->add_option("OUT", *out,
                     "output file (default: standard output; messages then go to "
                     "standard error)");
    read->callback([&context, out] { RunRead(context, *out); });
}
