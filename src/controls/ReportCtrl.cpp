#include "controls/ReportCtrl.h"

#include "controls/QuillmarkHeaderCtrl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Draws a cell with the row's own colours, or the flat selected look, instead of the platform's
// highlight.
class ReportDelegate : public QStyledItemDelegate {
public:
    explicit ReportDelegate(CReportCtrl* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        const CReportCtrl::CellStyle style = m_list->ItemStyle(index.row(), index.column());
        const QColor background =
            selected ? QColor::fromRgb(CReportCtrl::kSelectedBackground) : style.background;
        const QColor text = selected ? QColor::fromRgb(CReportCtrl::kSelectedText) : style.text;

        painter->save();
        painter->fillRect(option.rect, background);
        painter->setPen(text);
        painter->setFont(option.font);
        const QRect textRect = option.rect.adjusted(4, 0, -4, 0);
        const QVariant align = index.data(Qt::TextAlignmentRole);
        const Qt::Alignment alignment =
            align.isValid() ? Qt::Alignment(align.toInt()) : (Qt::AlignLeft | Qt::AlignVCenter);
        const QString shown = option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight,
                                                            textRect.width());
        painter->drawText(textRect, int(alignment | Qt::AlignVCenter), shown);
        painter->restore();
    }

private:
    CReportCtrl* m_list;
};

Qt::Alignment ToQt(ColumnAlign align) {
    switch (align) {
    case ColumnAlign::Center:
        return Qt::AlignHCenter;
    case ColumnAlign::Right:
        return Qt::AlignRight;
    case ColumnAlign::Left:
        break;
    }
    return Qt::AlignLeft;
}

} // namespace

CReportCtrl::CReportCtrl(QWidget* parent) : QTableWidget(parent) {
    m_header = new CQuillmarkHeaderCtrl(Qt::Horizontal, this);
    setHorizontalHeader(m_header);
    m_header->setStretchLastSection(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setSortingEnabled(false);
    setItemDelegate(new ReportDelegate(this));
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    setPalette(colours);
    setStyleSheet(QStringLiteral("QTableWidget { background-color: white; }"));
}

int CReportCtrl::SetColumns(const QString& spec) {
    DeleteAllRows();
    setColumnCount(0);
    const std::vector<ColumnSpec> columns = ParseColumnSpec(spec.toStdString());
    setColumnCount(int(columns.size()));
    QStringList titles;
    for (int i = 0; i < int(columns.size()); ++i) {
        const ColumnSpec& column = columns[size_t(i)];
        auto* item = new QTableWidgetItem(QString::fromStdString(column.title));
        item->setTextAlignment(ToQt(column.align) | Qt::AlignVCenter);
        setHorizontalHeaderItem(i, item);
        setColumnWidth(i, column.width);
        titles << QString::fromStdString(column.title);
    }
    m_header->SetTitles(titles);
    return int(columns.size());
}

int CReportCtrl::InsertRow(int row) {
    row = std::clamp(row, 0, rowCount());
    insertRow(row);
    for (int column = 0; column < columnCount(); ++column) {
        auto* item = new QTableWidgetItem();
        if (auto* headerItem = horizontalHeaderItem(column))
            item->setTextAlignment(Qt::Alignment(headerItem->textAlignment()));
        setItem(row, column, item);
    }
    m_rowStyles.insert(m_rowStyles.begin() + row, std::vector<CellStyle>(size_t(columnCount())));
    return row;
}

int CReportCtrl::AddRow(const QStringList& texts) {
    const int row = InsertRow(rowCount());
    for (int column = 0; column < texts.size() && column < columnCount(); ++column)
        SetItemText(row, column, texts.at(column));
    return row;
}

void CReportCtrl::DeleteRow(int row) {
    if (row < 0 || row >= rowCount())
        return;
    removeRow(row);
    m_rowStyles.erase(m_rowStyles.begin() + row);
}

void CReportCtrl::DeleteAllRows() {
    setRowCount(0);
    m_rowStyles.clear();
}

void CReportCtrl::SetItemText(int row, int column, const QString& text) {
    if (QTableWidgetItem* cell = item(row, column))
        cell->setText(text);
}

QString CReportCtrl::ItemText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

void CReportCtrl::SetItemColors(int row, int column, const QColor& text, const QColor& background) {
    if (row < 0 || row >= int(m_rowStyles.size()))
        return;
    auto& cells = m_rowStyles[size_t(row)];
    for (int c = 0; c < int(cells.size()); ++c) {
        if (column == -1 || column == c) {
            cells[size_t(c)].text = text;
            cells[size_t(c)].background = background;
        }
    }
    viewport()->update();
}

void CReportCtrl::SetItemImage(int row, int column, int image) {
    if (row >= 0 && row < int(m_rowStyles.size()) && column >= 0 &&
        column < int(m_rowStyles[size_t(row)].size()))
        m_rowStyles[size_t(row)][size_t(column)].image = image;
}

CReportCtrl::CellStyle CReportCtrl::ItemStyle(int row, int column) const {
    if (row >= 0 && row < int(m_rowStyles.size()) && column >= 0 &&
        column < int(m_rowStyles[size_t(row)].size()))
        return m_rowStyles[size_t(row)][size_t(column)];
    return {};
}

bool CReportCtrl::IsRowSelected(int row) const {
    return row >= 0 && row < rowCount() && selectionModel() &&
           selectionModel()->isRowSelected(row, QModelIndex());
}

std::vector<int> CReportCtrl::SelectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < rowCount(); ++row)
        if (IsRowSelected(row))
            rows.push_back(row);
    return rows;
}

void CReportCtrl::SelectRow(int row, bool select) {
    if (row < 0 || row >= rowCount() || columnCount() == 0)
        return;
    const QItemSelection range(model()->index(row, 0), model()->index(row, columnCount() - 1));
    selectionModel()->select(range,
                             select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

void CReportCtrl::SetSortable(bool sortable) {
    setSortingEnabled(sortable);
    m_header->setSectionsClickable(sortable);
}

void CReportCtrl::EndEdit(bool keepText) {
    if (state() != QAbstractItemView::EditingState)
        return;
    // The open cell editor is the focused widget inside the list, or, while the window is not
    // active, the editor widget the delegate placed on the viewport.
    QWidget* editor = QApplication::focusWidget();
    if (!editor || !viewport()->isAncestorOf(editor)) {
        editor = nullptr;
        for (QWidget* child : viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisible())
                editor = child;
    }
    if (!editor)
        return;
    if (keepText)
        commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void CReportCtrl::SetEditable(bool editable) {
    m_editable = editable;
    setEditTriggers(editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                             : QAbstractItemView::NoEditTriggers);
}

void CReportCtrl::keyPressEvent(QKeyEvent* event) {
    if (state() != QAbstractItemView::EditingState) {
        if (event->key() == Qt::Key_Space) {
            // Space would toggle the current row's selection; the list ignores it.
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Delete) {
            event->accept();
            emit DeleteKeyPressed();
            return;
        }
    }
    QTableWidget::keyPressEvent(event);
}

void CReportCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && !m_editable)
        emit RowDoubleClicked();
}
