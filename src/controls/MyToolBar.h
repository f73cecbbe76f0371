// The main toolbar: large picture buttons, each picture in three forms (normal, hot, disabled).
#pragma once

#include <QPixmap>
#include <QToolBar>

#include <vector>

class QAction;

class CMyToolBar : public QToolBar {
    Q_OBJECT
public:
    static constexpr QSize kButtonSize{90, 38};
    static constexpr QSize kImageSize{83, 32};

    explicit CMyToolBar(const QString& title, QWidget* parent = nullptr);

    // The three image lists, one picture per button in button order.
    void SetImageLists(std::vector<QPixmap> normal, std::vector<QPixmap> hot,
                       std::vector<QPixmap> disabled);
    // Adds `action` as the next button, showing picture `image` of the lists.
    void AddButton(QAction* action, int image);

    static QIcon IconOf(const QPixmap& normal, const QPixmap& hot, const QPixmap& disabled);

private:
    std::vector<QPixmap> m_normal;
    std::vector<QPixmap> m_hot;
    std::vector<QPixmap> m_disabled;
};
