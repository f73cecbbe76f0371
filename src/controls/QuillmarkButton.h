// The flat grey push button: a plain face in one of three colours and a thin border.
#pragma once

#include <QColor>
#include <QPushButton>

class CQuillmarkButton : public QPushButton {
    Q_OBJECT
public:
    explicit CQuillmarkButton(const QString& text = QString(), QWidget* parent = nullptr);

    // Face, face while the pointer is over it, face while pressed under the pointer, border.
    void SetColors(const QColor& face, const QColor& hot, const QColor& pressed,
                   const QColor& border);
    QColor FaceColor() const { return m_face; }
    QColor HotColor() const { return m_hot; }
    QColor PressedColor() const { return m_pressed; }
    QColor BorderColor() const { return m_border; }

    void Enable() { setEnabled(true); }
    void Disable() { setEnabled(false); }

    // The colour the face is filled with in the given state.
    QColor FaceColorFor(bool hot, bool pressed) const;

    // Lets tests and callers that track the pointer themselves force the hot state.
    void SetHot(bool hot);
    bool IsHot() const { return m_isHot; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QColor m_face{230, 230, 230};
    QColor m_hot{224, 224, 224};
    QColor m_pressed{189, 189, 189};
    QColor m_border{189, 189, 189};
    bool m_isHot = false;
};
