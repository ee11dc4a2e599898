#pragma once
// The small dialog from the port strip that adds an instrument behind a serial device server to
// the working folder's list of network instruments.
#include <QDialog>

class QLabel;
class QLineEdit;

class NetworkPortDialog : public QDialog {
    Q_OBJECT
public:
    NetworkPortDialog(QString folder, QWidget *parent = nullptr);
    // Checks the fields and adds the instrument; on failure the dialog stays open and says why.
    void accept() override;
    QString problem() const;

private:
    QString m_folder;
    QLineEdit *m_name;
    QLineEdit *m_address;
    QLabel *m_problem;
};
