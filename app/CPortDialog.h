#pragma once

// The port a user types, as --port takes it: COMn, a device path, a network wire, a Modbus port
// (with its map, as --modbus takes it) or a USB HID scale. OK with one written wrong says what is
// wrong in the command line's words, and the dialog stays.

#include <QDialog>
#include <QLabel>
#include <QLineEdit>

#include <optional>

#include "link/WireOptions.h"

class CPortDialog : public QDialog {
    Q_OBJECT
  public:
    CPortDialog(QWidget* parent, const QString& port);

    QLineEdit& Port() { return m_port; }
    QLineEdit& Modbus() { return m_modbus; }
    QLabel& Refusal() { return m_refusal; }
    // The port accepted; none until OK took one.
    const std::optional<scale_link::PortChoice>& Chosen() const { return m_chosen; }

    void accept() override;

  private:
    QLineEdit m_port;
    QLineEdit m_modbus;
    QLabel m_refusal;
    std::optional<scale_link::PortChoice> m_chosen;
};
