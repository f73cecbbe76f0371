#include "controls/QuillmarkHeaderCtrl.h"

#include <QPainter>

CQuillmarkHeaderCtrl::CQuillmarkHeaderCtrl(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent) {
    setFont(HeaderFont());
    setHighlightSections(false);
    setSectionsClickable(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

QFont CQuillmarkHeaderCtrl::HeaderFont() {
    QFont font(QStringLiteral("Segoe UI"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void CQuillmarkHeaderCtrl::SetTitles(const QStringList& titles) {
    m_titles = titles;
    viewport()->update();
}

QString CQuillmarkHeaderCtrl::TitleOf(int logicalIndex) const {
    if (logicalIndex >= 0 && logicalIndex < m_titles.size())
        return m_titles.at(logicalIndex);
    if (model())
        return model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
    return {};
}

void CQuillmarkHeaderCtrl::paintEvent(QPaintEvent* event) {
    {
        // The area right of the last column gets the same frame and fill as the cells.
        QPainter painter(viewport());
        const QRect area = viewport()->rect();
        painter.fillRect(area, QColor::fromRgb(kFillColor));
        painter.setPen(QColor::fromRgb(kFrameColor));
        painter.drawRect(area.adjusted(0, 0, -1, -1));
    }
    QHeaderView::paintEvent(event);
}

void CQuillmarkHeaderCtrl::paintSection(QPainter* painter, const QRect& rect,
                                        int logicalIndex) const {
    if (!rect.isValid())
        return;
    painter->save();
    painter->fillRect(rect, QColor::fromRgb(kFillColor));
    painter->setPen(QColor::fromRgb(kFrameColor));
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->drawLine(rect.topRight(), rect.bottomRight());

    painter->setFont(HeaderFont());
    painter->setPen(Qt::black);
    painter->setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics metrics(painter->font());
    const int top = rect.top() + (rect.height() - metrics.height()) / 2;
    const QRect textRect(rect.left() + kTitleIndent, top, rect.width() - kTitleIndent - 2,
                         metrics.height());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(TitleOf(logicalIndex), Qt::ElideRight, textRect.width()));
    painter->restore();
}

QSize CQuillmarkHeaderCtrl::sectionSizeFromContents(int logicalIndex) const {
    const QFontMetrics metrics(HeaderFont());
    return {metrics.horizontalAdvance(TitleOf(logicalIndex)) + 2 * kTitleIndent,
            metrics.height() + 8};
}
