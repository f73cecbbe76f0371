// Message boxes for the document and the views. Safe to call from the device worker: the box is
// shown on the GUI thread and the caller waits for the answer.
#pragma once

#include "document/ViewInterfaces.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

class CWidgetPrompt : public QObject, public IUserPrompt {
    Q_OBJECT
public:
    // Boxes are centred on `parent` while it exists. Must be created on the GUI thread.
    explicit CWidgetPrompt(QWidget* parent = nullptr);
    void SetParentWidget(QWidget* parent) { m_parent = parent; }

    MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                              MessageButtons buttons = MessageButtons::Ok) override;
    MessageAnswer ShowCaptionedMessage(const std::string& caption, const std::string& text,
                                       MessageIcon icon,
                                       MessageButtons buttons = MessageButtons::Ok) override;

private:
    MessageAnswer Show(const QString& caption, const std::string& text, MessageIcon icon,
                       MessageButtons buttons);

    QPointer<QWidget> m_parent;
};
