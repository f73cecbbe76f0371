// The document's view and message boxes without a window: the command-line program and the tests
// use them. The view keeps a working copy of the sequence, the two test boxes and the message
// area as text; the sequence check runs on the working copy as the window's check does. Every
// method may be called from the device worker while another thread looks at the state.
#pragma once

#include "document/ViewInterfaces.h"
#include "protocol/SequenceRules.h"
#include "protocol/SetRecord.h"

#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

class CKelvastraDoc;

class HeadlessStageView : public IStageView {
public:
    explicit HeadlessStageView(CKelvastraDoc& document);

    // Appended messages are copied to `messages`, the check's messages to `checkMessages`
    // (either may be null).
    void SetEcho(std::ostream* messages, std::ostream* checkMessages);

    // Stands for the user's edits: the document is marked modified.
    void SetWorkingSequence(const SetSequence& sequence);
    SetSequence WorkingSequence() const;
    std::string MessageArea() const;
    std::string TestNumberText() const;
    std::vector<std::string> CheckMessages() const;
    int RefreshCount() const;
    int ClearSequenceCount() const;

    // IStageView
    void SetTestName(const std::string& name) override;
    void SetTestNumber(const std::string& number) override;
    std::string TestName() override;
    void ClearMessageArea() override;
    void AppendMessage(const std::string& text) override;
    void RefreshFromDocument() override;
    void ClearSequence() override;
    bool CheckSequence() override;
    SetSequence ShownSequence() override { return WorkingSequence(); }

private:
    struct CheckHost;

    CKelvastraDoc& m_document;
    mutable std::mutex m_mutex;
    SetSequence m_working;
    std::string m_testName;
    std::string m_testNumber;
    std::string m_messages;
    std::vector<std::string> m_checkMessages;
    int m_refreshCount = 0;
    int m_clearSequenceCount = 0;
    std::ostream* m_echo = nullptr;
    std::ostream* m_checkEcho = nullptr;
};

// Message boxes as lines: each text is recorded, copied to a stream when one is given, and
// answered with a fixed answer (Ok for a box with only OK).
class HeadlessPrompt : public IUserPrompt {
public:
    explicit HeadlessPrompt(std::ostream* echo = nullptr) : m_echo(echo) {}
    void SetAnswer(MessageAnswer answer) { m_answer = answer; }
    MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                              MessageButtons buttons = MessageButtons::Ok) override;

    struct Shown {
        std::string text;
        MessageIcon icon;
    };
    std::vector<Shown> Messages() const;

private:
    mutable std::mutex m_mutex;
    std::ostream* m_echo;
    MessageAnswer m_answer = MessageAnswer::Ok;
    std::vector<Shown> m_shown;
};
