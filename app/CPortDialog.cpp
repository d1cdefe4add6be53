#include "app/CPortDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

#include <string>

CPortDialog::CPortDialog(QWidget* parent, const QString& port) : QDialog(parent) {
    setWindowTitle(tr("Port"));
    auto* form = new QFormLayout;  // owned by the layout below
    m_port.setText(port);
    m_port.setPlaceholderText(QStringLiteral("COM1, /dev/ttyUSB0, tcp://HOST:PORT, hid"));
    m_modbus.setPlaceholderText(QStringLiteral("weight=0x1000,type=float32,..."));
    form->addRow(tr("&Port:"), &m_port);
    form->addRow(tr("&Modbus map:"), &m_modbus);
    m_refusal.setWordWrap(true);
    m_refusal.setTextFormat(Qt::PlainText);
    m_refusal.hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPortDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPortDialog::reject);
    auto* layout = new QVBoxLayout(this);  // owned by the dialog
    layout->addLayout(form);
    layout->addWidget(&m_refusal);
    layout->addWidget(buttons);
}

void CPortDialog::accept() {
    const std::string port = m_port.text().trimmed().toLocal8Bit().toStdString();
    const std::string modbus = m_modbus.text().trimmed().toLocal8Bit().toStdString();
    // The panel's family options are its own: a typed port is judged as it stands.
    auto chosen = scale_link::ReadPortChoice(port, modbus, {});
    if (!chosen) {
        m_refusal.setText(QString::fromLocal8Bit(chosen.Error().text));
        m_refusal.show();
        return;
    }
    m_chosen = std::move(chosen).Value();
    QDialog::accept();
}
