#include "controls/QuillmarkButton.h"

#include <QEnterEvent>
#include <QPainter>

CQuillmarkButton::CQuillmarkButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent) {
    setAttribute(Qt::WA_Hover);
}

void CQuillmarkButton::SetColors(const QColor& face, const QColor& hot, const QColor& pressed,
                                 const QColor& border) {
    m_face = face;
    m_hot = hot;
    m_pressed = pressed;
    m_border = border;
    update();
}

QColor CQuillmarkButton::FaceColorFor(bool hot, bool pressed) const {
    if (pressed && hot)
        return m_pressed;
    return hot ? m_hot : m_face;
}

void CQuillmarkButton::SetHot(bool hot) {
    if (m_isHot != hot) {
        m_isHot = hot;
        update();
    }
}

void CQuillmarkButton::enterEvent(QEnterEvent* event) {
    SetHot(true);
    QPushButton::enterEvent(event);
}

void CQuillmarkButton::leaveEvent(QEvent* event) {
    SetHot(false);
    QPushButton::leaveEvent(event);
}

void CQuillmarkButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool pressed = isDown();
    const QRect area = rect();
    painter.fillRect(area, FaceColorFor(m_isHot, pressed));
    if (!(pressed && m_isHot)) {
        painter.setPen(QPen(m_border, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(area.adjusted(0, 0, -1, -1));
    }
    painter.setPen(isEnabled() ? palette().color(QPalette::Active, QPalette::ButtonText)
                               : palette().color(QPalette::Disabled, QPalette::ButtonText));
    if (!icon().isNull()) {
        const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
        icon().paint(&painter, area.adjusted(2, 2, -2, -2), Qt::AlignCenter, mode);
    }
    painter.drawText(area, Qt::AlignCenter | Qt::TextShowMnemonic, text());
}
