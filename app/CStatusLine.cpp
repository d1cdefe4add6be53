#include "app/CStatusLine.h"

#include <QAccessibleWidget>
#include <QHelpEvent>
#include <QPainter>
#include <QStringList>
#include <QStyle>
#include <QToolTip>

namespace {

constexpr qsizetype kMostNoteLines = 40;

class StatusLineAccessible final : public QAccessibleWidget {
  public:
    explicit StatusLineAccessible(CStatusLine* line)
        : QAccessibleWidget(line, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        const auto* line = static_cast<const CStatusLine*>(widget());
        if (t == QAccessible::Name)
            return line->text();
        if (t == QAccessible::Description)
            return line->WholeText();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* CreateForStatusLine(const QString&, QObject* object) {
    if (auto* line = qobject_cast<CStatusLine*>(object))
        return new StatusLineAccessible(line);  // owned by Qt's accessibility cache
    return nullptr;
}

}  // namespace

CStatusLine::CStatusLine(QWidget* parent) : QLabel(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(CreateForStatusLine);
        return true;
    }();
    (void)installed;
}

void CStatusLine::Show(const QString& text, const QString& note) {
    m_note = note;
    m_noteFor = text;
    setText(text);
}

void CStatusLine::AddToNote(const QString& line) {
    if (!NoteShown()) {
        m_note.clear();
        m_noteFor = text();
    }
    QStringList lines = m_note.isEmpty() ? QStringList() : m_note.split(QLatin1Char('\n'));
    lines.push_back(line);
    // What a long session keeps saying stays readable: the latest lines.
    while (lines.size() > kMostNoteLines)
        lines.pop_front();
    m_note = lines.join(QLatin1Char('\n'));
}

bool CStatusLine::NoteShown() const {
    // Others append to the panel's text; the note stays while the panel's text leads.
    return !m_note.isEmpty() && text().startsWith(m_noteFor);
}

QString CStatusLine::WholeText() const {
    QStringList lines{text()};
    if (NoteShown())
        lines.push_back(m_note);
    if (!toolTip().isEmpty())
        lines.push_back(toolTip());
    return lines.join(QLatin1Char('\n'));
}

QRect CStatusLine::TextRect() const {
    const int inset = margin() + (indent() > 0 ? indent() : 0);
    return contentsRect().adjusted(inset, margin(), -inset, -margin());
}

bool CStatusLine::Elided() const {
    return fontMetrics().horizontalAdvance(text()) > TextRect().width();
}

bool CStatusLine::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const QString whole = WholeText();
        if (whole.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), whole, this);
        return true;
    }
    return QLabel::event(event);
}

void CStatusLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const QRect rect = TextRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, rect.width());
    style()->drawItemText(&painter, rect, static_cast<int>(alignment()), palette(), isEnabled(),
                          shown, foregroundRole());
}
