#include "app/typing/TypingSettings.h"

#include <QFormLayout>

namespace {

constexpr wedge::Via kVias[] = {wedge::Via::kAuto, wedge::Via::kX11, wedge::Via::kPortal,
                                wedge::Via::kUinput};

}  // namespace

TypingSettings::TypingSettings(const wedge::TypeOptions& options, QWidget* parent)
    : QDialog(parent),
      m_options(options),
      m_buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel) {
    setWindowTitle(tr("Typing readings"));
    m_format.setText(QString::fromStdString(options.format));
    m_format.setToolTip(tr("{value} {unit} {text} {tab} {enter} {time} and literal text"));
    m_decimal.addItem(tr("Point (12.345)"), QChar('.'));
    m_decimal.addItem(tr("Comma (12,345)"), QChar(','));
    m_decimal.setCurrentIndex(options.decimal == ',' ? 1 : 0);
    for (const wedge::Via via : kVias)
        m_via.addItem(QString::fromLatin1(wedge::ViaName(via).data(), wedge::ViaName(via).size()),
                      static_cast<int>(via));
    m_via.setCurrentIndex(m_via.findData(static_cast<int>(options.via)));
    m_problem.setTextFormat(Qt::PlainText);
    m_problem.setWordWrap(true);
    // Owned by the box, as its layout is.
    auto* layout = new QFormLayout(this);
    layout->addRow(tr("&Typed:"), &m_format);
    layout->addRow(tr("&Decimal sign:"), &m_decimal);
    layout->addRow(tr("&Keys through:"), &m_via);
    layout->addRow(&m_problem);
    layout->addRow(&m_buttons);
    connect(&m_buttons, &QDialogButtonBox::accepted, this, &TypingSettings::accept);
    connect(&m_buttons, &QDialogButtonBox::rejected, this, &TypingSettings::reject);
}

wedge::TypeOptions TypingSettings::Options() const {
    wedge::TypeOptions options = m_options;
    options.format = m_format.text().toStdString();
    options.decimal = m_decimal.currentData().toChar().toLatin1();
    options.via = static_cast<wedge::Via>(m_via.currentData().toInt());
    return options;
}

void TypingSettings::accept() {
    std::string error;
    if (!wedge::ParseFormat(m_format.text().toStdString(), &error)) {
        m_problem.setText(tr("Not typed as it is: %1").arg(QString::fromStdString(error)));
        return;
    }
    QDialog::accept();
}
