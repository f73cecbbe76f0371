#include "document/HeadlessView.h"

#include "document/KelvastraDoc.h"

#include <ostream>

// The check talks to the view's boxes while the view's lock is held.
struct HeadlessStageView::CheckHost : ISequenceCheckHost {
    explicit CheckHost(HeadlessStageView& view) : m_view(view) {}
    void ShowCheckMessage(const std::string& text) override {
        m_view.m_checkMessages.push_back(text);
        if (m_view.m_checkEcho) {
            *m_view.m_checkEcho << text;
            if (!text.empty() && text.back() != '\n')
                *m_view.m_checkEcho << '\n';
            m_view.m_checkEcho->flush();
        }
    }
    std::string TestName() override { return m_view.m_testName; }
    void SetTestName(const std::string& name) override { m_view.m_testName = name; }

    HeadlessStageView& m_view;
};

HeadlessStageView::HeadlessStageView(CKelvastraDoc& document) : m_document(document) {}

void HeadlessStageView::SetEcho(std::ostream* messages, std::ostream* checkMessages) {
    std::lock_guard lock(m_mutex);
    m_echo = messages;
    m_checkEcho = checkMessages;
}

void HeadlessStageView::SetWorkingSequence(const SetSequence& sequence) {
    std::lock_guard lock(m_mutex);
    m_working = sequence;
    m_document.m_bModified = true; // as an edit in the window would
}

SetSequence HeadlessStageView::WorkingSequence() const {
    std::lock_guard lock(m_mutex);
    return m_working;
}

std::string HeadlessStageView::MessageArea() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::string HeadlessStageView::TestNumberText() const {
    std::lock_guard lock(m_mutex);
    return m_testNumber;
}

std::vector<std::string> HeadlessStageView::CheckMessages() const {
    std::lock_guard lock(m_mutex);
    return m_checkMessages;
}

int HeadlessStageView::RefreshCount() const {
    std::lock_guard lock(m_mutex);
    return m_refreshCount;
}

int HeadlessStageView::ClearSequenceCount() const {
    std::lock_guard lock(m_mutex);
    return m_clearSequenceCount;
}

void HeadlessStageView::SetTestName(const std::string& name) {
    std::lock_guard lock(m_mutex);
    m_testName = name;
}

void HeadlessStageView::SetTestNumber(const std::string& number) {
    std::lock_guard lock(m_mutex);
    m_testNumber = number;
}

std::string HeadlessStageView::TestName() {
    std::lock_guard lock(m_mutex);
    return m_testName;
}

void HeadlessStageView::ClearMessageArea() {
    std::lock_guard lock(m_mutex);
    m_messages.clear();
}

void HeadlessStageView::AppendMessage(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_messages += text;
    if (m_echo) {
        *m_echo << text;
        m_echo->flush();
    }
}

void HeadlessStageView::RefreshFromDocument() {
    std::lock_guard lock(m_mutex);
    m_working = m_document.m_sequence;
    ++m_refreshCount;
}

void HeadlessStageView::ClearSequence() {
    std::lock_guard lock(m_mutex);
    m_working.sets.clear();
    ++m_clearSequenceCount;
}

bool HeadlessStageView::CheckSequence() {
    std::lock_guard lock(m_mutex);
    CheckHost host(*this);
    return ::CheckSequence(m_working, m_document.m_sequence, m_document.m_fMaxStretchPosMm, host) ==
           1;
}

MessageAnswer HeadlessPrompt::ShowMessage(const std::string& text, MessageIcon icon,
                                          MessageButtons buttons) {
    std::lock_guard lock(m_mutex);
    m_shown.push_back({text, icon});
    if (m_echo) {
        *m_echo << text;
        if (!text.empty() && text.back() != '\n')
            *m_echo << '\n';
        m_echo->flush();
    }
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : m_answer;
}

std::vector<HeadlessPrompt::Shown> HeadlessPrompt::Messages() const {
    std::lock_guard lock(m_mutex);
    return m_shown;
}
