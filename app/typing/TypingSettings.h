#pragma once

// The small box of the typing settings: what is typed (the format), the decimal sign and the
// way keys are sent. OK only with a format that can be typed.
//
// Thread: UI thread only.

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>

#include "wedge/TypeOptions.h"

class TypingSettings : public QDialog {
    Q_OBJECT
  public:
    TypingSettings(const wedge::TypeOptions& options, QWidget* parent);
    // What the box holds now (`enabled` as given).
    wedge::TypeOptions Options() const;

    QLineEdit& Format() { return m_format; }
    QComboBox& Decimal() { return m_decimal; }
    QComboBox& Via() { return m_via; }
    QLabel& Problem() { return m_problem; }

    void accept() override;

  private:
    wedge::TypeOptions m_options;
    QLineEdit m_format;
    QComboBox m_decimal;
    QComboBox m_via;
    QLabel m_problem;
    QDialogButtonBox m_buttons;
};
