#include "app/networkportdialog.h"

#include "link/networkports.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

NetworkPortDialog::NetworkPortDialog(QString folder, QWidget *parent) : QDialog(parent), m_folder(std::move(folder))
{
    setWindowTitle(QStringLiteral("Прибор в сети"));
    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("edNetworkName"));
    m_address = new QLineEdit;
    m_address->setObjectName(QStringLiteral("edNetworkAddress"));
    m_address->setPlaceholderText(QStringLiteral("rfc2217://192.168.1.40:2001"));
    m_address->setToolTip(QStringLiteral("tcp://УЗЕЛ:ПОРТ — байты как есть;\n"
                                         "rfc2217://УЗЕЛ:ПОРТ — Telnet, скорость порта задаёт программа."));
    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("lbNetworkProblem"));
    m_problem->setWordWrap(true);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Имя:"), m_name);
    form->addRow(QStringLiteral("Адрес:"), m_address);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &NetworkPortDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &NetworkPortDialog::reject);
    auto *v = new QVBoxLayout(this);
    v->addLayout(form);
    v->addWidget(m_problem);
    v->addWidget(buttons);
}

QString NetworkPortDialog::problem() const { return m_problem->text(); }

void NetworkPortDialog::accept()
{
    QString why;
    const auto address = NetworkAddress::parse(m_address->text().trimmed(), &why);
    if (address && NetworkPortList::add(m_folder, NetworkPort{m_name->text(), *address}, &why)) {
        QDialog::accept();
        return;
    }
    m_problem->setText(why);
}
