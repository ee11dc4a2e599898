#pragma once
// The page "Результаты": heading, the read-only text view Memo1, three buttons and two check
// boxes. It shows the protocol controller's text and state and hands every click to it.
#include <QWidget>

class ProtocolController;
class QCheckBox;
class QPlainTextEdit;
class QPushButton;

class ResultPage : public QWidget {
    Q_OBJECT
public:
    ResultPage(ProtocolController &controller, QWidget *parent = nullptr);

    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *btnReadProtokol = nullptr;
    QPushButton *btnSaveProtokol = nullptr;
    QPushButton *btnClrMemo1 = nullptr;
    QCheckBox *chckAutoReadRes = nullptr;
    QCheckBox *chckAutoSaveRes = nullptr;

private:
    void refresh();
    void showText();

    ProtocolController &m_controller;
};
