#include "app/weighing/PiecesBeside.h"

#include <QFontMetrics>

#include <algorithm>

#include "app/CScalePanelDlg.h"
#include "app/DialogTemplates.h"

namespace {

// Under the display, from its left end to its right end; the same height as a family's unit.
constexpr QRect kStripDu(107, 95, 205, 11);
constexpr int kUnitGapPx = 6;

}  // namespace

PiecesBeside::PiecesBeside(CScalePanelDlg& panel)
    : m_panel(panel), m_label(new QLabel(&panel)) {  // owned by the panel
    const QRect px = DuToPixels(kStripDu, PanelTemplate().base);
    m_label->setObjectName(QStringLiteral("pieces"));
    m_label->setGeometry(px);
    m_label->setTextFormat(Qt::RichText);
    m_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_label->hide();
}

PiecesBeside::~PiecesBeside() {
    Clear();
}

void PiecesBeside::Show(const QString& count, const QString& weight) {
    if (!m_label)
        return;
    const QString spoken = count + QStringLiteral(", ") + weight;
    if (spoken == m_shown && !m_label->isHidden())
        return;
    m_shown = spoken;
    // The count as large as a family's unit, the weight it was made of smaller beside it.
    const int height = m_label->height();
    const int large = std::max(10, height - 4);
    const int small = std::max(8, large * 5 / 7);
    m_label->setText(QStringLiteral("<span style=\"font-size:%1px; font-weight:bold\">%2</span>"
                                    "&nbsp;&nbsp;<span style=\"font-size:%3px\">%4</span>")
                         .arg(large)
                         .arg(count.toHtmlEscaped())
                         .arg(small)
                         .arg(weight.toHtmlEscaped()));
    m_label->setAccessibleName(spoken);
    // A family's unit keeps its place at the display's right end.
    const QLabel& unit = m_panel.OtherUnit();
    const int right =
        unit.isHidden() ? 0 : QFontMetrics(unit.font()).horizontalAdvance(unit.text()) + kUnitGapPx;
    m_label->setContentsMargins(0, 0, right, 0);
    m_label->show();
    m_panel.DisplayControl().SetReadingCount(count.toStdString());
}

void PiecesBeside::Clear() {
    if (!m_label || (m_label->isHidden() && m_shown.isEmpty()))
        return;
    m_shown.clear();
    m_label->hide();
    m_label->clear();
    m_panel.DisplayControl().SetReadingCount({});
}
