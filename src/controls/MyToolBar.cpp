#include "controls/MyToolBar.h"

#include <QAction>
#include <QToolButton>

CMyToolBar::CMyToolBar(const QString& title, QWidget* parent) : QToolBar(title, parent) {
    setMovable(false);
    setFloatable(false);
    setIconSize(kImageSize);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setStyleSheet(QStringLiteral("QToolButton { min-width: %1px; min-height: %2px; }")
                      .arg(kButtonSize.width() - 6)
                      .arg(kButtonSize.height() - 6));
}

void CMyToolBar::SetImageLists(std::vector<QPixmap> normal, std::vector<QPixmap> hot,
                               std::vector<QPixmap> disabled) {
    m_normal = std::move(normal);
    m_hot = std::move(hot);
    m_disabled = std::move(disabled);
}

QIcon CMyToolBar::IconOf(const QPixmap& normal, const QPixmap& hot, const QPixmap& disabled) {
    QIcon icon;
    icon.addPixmap(normal, QIcon::Normal);
    icon.addPixmap(hot.isNull() ? normal : hot, QIcon::Active);
    icon.addPixmap(disabled.isNull() ? normal : disabled, QIcon::Disabled);
    return icon;
}

void CMyToolBar::AddButton(QAction* action, int image) {
    const auto at = [image](const std::vector<QPixmap>& list) {
        return image >= 0 && image < int(list.size()) ? list[size_t(image)] : QPixmap();
    };
    if (!at(m_normal).isNull())
        action->setIcon(IconOf(at(m_normal), at(m_hot), at(m_disabled)));
    addAction(action);
    if (auto* button = qobject_cast<QToolButton*>(widgetForAction(action)))
        button->setFixedSize(kButtonSize);
}
