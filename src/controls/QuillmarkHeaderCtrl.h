// The flat list header: grey cells with a thin frame, a separator at each right edge and the
// title 6 pixels from the left in a small font.
#pragma once

#include <QHeaderView>
#include <QStringList>

class CQuillmarkHeaderCtrl : public QHeaderView {
    Q_OBJECT
public:
    static constexpr QRgb kFrameColor = 0xFFBDBDBD; // 189, 189, 189
    static constexpr QRgb kFillColor = 0xFFE0E0E0;  // 224, 224, 224
    static constexpr int kTitleIndent = 6;

    explicit CQuillmarkHeaderCtrl(Qt::Orientation orientation, QWidget* parent = nullptr);

    // The header keeps its own titles; without one for a section it asks the model.
    void SetTitles(const QStringList& titles);
    const QStringList& Titles() const { return m_titles; }

    // "Segoe UI" 8 pt; the platform substitutes a similar face where it is missing.
    static QFont HeaderFont();

protected:
    void paintEvent(QPaintEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    QString TitleOf(int logicalIndex) const;

    QStringList m_titles;
};
