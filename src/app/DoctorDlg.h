// Help, "Why is the controller not found?": the checks of `kelvastra-cli doctor`, run beside the
// GUI thread (they read many small system files), their lines shown as the command prints them.
#pragma once

#include <QDialog>

#include <thread>

class QPlainTextEdit;

class CDoctorDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDoctorDlg(QWidget* parent = nullptr);
    // Waits for the checks, which cannot be stopped half way.
    ~CDoctorDlg() override;

    QPlainTextEdit* Report() const { return m_report; }
    bool Checked() const { return m_checked; }

private:
    void ShowReport(const QString& text);

    QPlainTextEdit* m_report = nullptr;
    bool m_checked = false;
    std::thread m_checks;
};
