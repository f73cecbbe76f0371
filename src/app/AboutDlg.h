// "About Kelvastra": the program's picture and its version.
#pragma once

#include <QDialog>

class QLabel;

// floor(size x scale), as the main window and the About picture are sized for the display.
QSize ScaledSize(QSize size, double scale);

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(double displayScale, QWidget* parent = nullptr);

    QLabel* Picture() const { return m_picture; }
    QLabel* Version() const { return m_version; }

private:
    QLabel* m_picture = nullptr;
    QLabel* m_version = nullptr;
};
