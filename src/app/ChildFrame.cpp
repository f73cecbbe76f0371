#include "app/ChildFrame.h"

#include <QVBoxLayout>

CChildFrame::CChildFrame(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void CChildFrame::SetView(QWidget* view) {
    if (m_view)
        m_view->deleteLater();
    m_view = view;
    layout()->addWidget(view);
}
