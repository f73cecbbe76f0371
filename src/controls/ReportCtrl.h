// The report-style list used for the sequence and other tables: columns from a column
// layout string ("Title, width, align;..."), per-cell colours, a flat selected-row look,
// several rows selectable, whole rows selected, grid lines on white. The Delete key and double
// clicks are passed to the owner.
#pragma once

#include "controls/ColumnSpec.h"

#include <QColor>
#include <QTableWidget>

#include <vector>

class CQuillmarkHeaderCtrl;

class CReportCtrl : public QTableWidget {
    Q_OBJECT
public:
    static constexpr QRgb kSelectedBackground = 0xFFEEEEEE; // 238, 238, 238
    static constexpr QRgb kSelectedText = 0xFF4A98CC;       // 74, 152, 204

    // What each cell of a row is drawn with.
    struct CellStyle {
        QColor text = Qt::black;
        QColor background = Qt::white;
        int image = 0;
    };

    explicit CReportCtrl(QWidget* parent = nullptr);

    // Removes every row and column, then creates the columns of `spec` (see ParseColumnSpec).
    // Returns the number of columns created.
    int SetColumns(const QString& spec);
    // Inserts an empty row at `row` (clamped to the row count) with default cell styles and
    // returns its index.
    int InsertRow(int row);
    // Appends a row holding `texts`, one per column.
    int AddRow(const QStringList& texts);
    void DeleteRow(int row);
    void DeleteAllRows();

    void SetItemText(int row, int column, const QString& text);
    QString ItemText(int row, int column) const;
    // Colours of one cell; a column of -1 means every cell of the row.
    void SetItemColors(int row, int column, const QColor& text, const QColor& background);
    void SetItemImage(int row, int column, int image);
    CellStyle ItemStyle(int row, int column) const;

    bool IsRowSelected(int row) const;
    // Selected rows, top to bottom.
    std::vector<int> SelectedRows() const;
    void SelectRow(int row, bool select = true);

    // Sorting by header clicks and in-place editing are never turned on here; these keep the
    // operations the owners call.
    void SetSortable(bool sortable);
    void EndEdit(bool keepText = true);
    void SetEditable(bool editable);
    bool IsEditing() const { return state() == QAbstractItemView::EditingState; }
    bool IsEditable() const { return m_editable; }

    CQuillmarkHeaderCtrl* Header() const { return m_header; }

signals:
    // The Delete key was pressed in the list.
    void DeleteKeyPressed();
    // The list was double-clicked with the left button.
    void RowDoubleClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::vector<std::vector<CellStyle>> m_rowStyles;
    CQuillmarkHeaderCtrl* m_header = nullptr;
    bool m_editable = false;
};
