// The frame that hosts a document's view inside the main window.
#pragma once

#include <QWidget>

class CChildFrame : public QWidget {
    Q_OBJECT
public:
    explicit CChildFrame(QWidget* parent = nullptr);
    // Takes ownership of `view` and fills the frame with it.
    void SetView(QWidget* view);
    QWidget* View() const { return m_view; }

private:
    QWidget* m_view = nullptr;
};
