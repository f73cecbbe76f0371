// The seams between the document (and its device worker) and the windows. The desktop program
// implements them with widgets; tests and the command-line program with fakes. Every method may
// be called from the device worker thread: a widget implementation must hand the work to the
// GUI thread (and wait for it where a result is returned).
#pragma once

#include <functional>
#include <string>

struct SetSequence;

// Icon of a message box.
enum class MessageIcon { None, Error, Exclamation, Information, Question };
// Buttons of a message box and the answer.
// YesNoDefaultNo: Yes and No with No as the default button (questions before a change that
// cannot be undone).
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoDefaultNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// Modal message boxes.
class IUserPrompt {
public:
    virtual ~IUserPrompt() = default;
    virtual MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                                      MessageButtons buttons = MessageButtons::Ok) = 0;
    // As ShowMessage, under a caption of its own instead of the program's name.
    virtual MessageAnswer ShowCaptionedMessage(const std::string& caption, const std::string& text,
                                               MessageIcon icon,
                                               MessageButtons buttons = MessageButtons::Ok) {
        (void)caption;
        return ShowMessage(text, icon, buttons);
    }
};

// What the document asks of its sequence view.
class IStageView {
public:
    virtual ~IStageView() = default;
    virtual void SetTestName(const std::string& name) = 0;
    virtual void SetTestNumber(const std::string& number) = 0;
    // The test name as the user last left it in its box.
    virtual std::string TestName() = 0;
    virtual void ClearMessageArea() = 0;
    virtual void AppendMessage(const std::string& text) = 0;
    // Rebuild the working copy, the list and the figures from the document's sequence.
    virtual void RefreshFromDocument() = 0;
    // Remove every row and set; totals back to zero.
    virtual void ClearSequence() = 0;
    // Check the working copy (showing the check's own messages); when it passes the working copy
    // has been copied into the document's sequence and true is returned.
    virtual bool CheckSequence() = 0;
    // The working copy as the user sees it, checked or not.
    virtual SetSequence ShownSequence() = 0;
};
