#include "controls/WidgetPrompt.h"

#include "document/ThreadMailbox.h"

#include <QMessageBox>

CWidgetPrompt::CWidgetPrompt(QWidget* parent) : QObject(nullptr), m_parent(parent) {}

MessageAnswer CWidgetPrompt::ShowMessage(const std::string& text, MessageIcon icon,
                                         MessageButtons buttons) {
    return ShowCaptionedMessage("Kelvastra", text, icon, buttons);
}

MessageAnswer CWidgetPrompt::ShowCaptionedMessage(const std::string& caption,
                                                  const std::string& text, MessageIcon icon,
                                                  MessageButtons buttons) {
    const QString title = QString::fromStdString(caption);
    return ThreadMailbox::Main().Call([&] { return Show(title, text, icon, buttons); });
}

MessageAnswer CWidgetPrompt::Show(const QString& caption, const std::string& text, MessageIcon icon,
                                  MessageButtons buttons) {
    QMessageBox box(m_parent.data());
    box.setWindowTitle(caption);
    box.setText(QString::fromStdString(text));
    switch (icon) {
    case MessageIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MessageIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MessageIcon::None:
        break;
    }
    switch (buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MessageButtons::YesNoDefaultNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        break;
    case MessageButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    default:
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok
               : buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoDefaultNo
                   ? MessageAnswer::No
                   : MessageAnswer::Cancel;
    }
}
