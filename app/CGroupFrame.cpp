#include "app/CGroupFrame.h"

#include <QPainter>

namespace {

// The colours of an etched edge on a grey dialog.
const QColor kShadow(128, 128, 128);
const QColor kHighlight(255, 255, 255);
constexpr int kTitleIndent = 9;
constexpr int kTitlePadding = 2;

}  // namespace

CGroupFrame::CGroupFrame(const QString& title, QWidget* parent) : QGroupBox(title, parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void CGroupFrame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetrics metrics(font());
    const int top = metrics.height() / 2;
    const int right = width() - 2;
    const int bottom = height() - 2;

    QString text = title();
    text.remove(QLatin1Char('&'));
    const int gapStart = kTitleIndent - kTitlePadding;
    const int gapEnd =
        text.isEmpty() ? gapStart : kTitleIndent + metrics.horizontalAdvance(text) + kTitlePadding;

    // Shadow line, then the highlight one pixel down and to the right.
    for (int pass = 0; pass < 2; ++pass) {
        p.setPen(pass == 0 ? kShadow : kHighlight);
        const int o = pass;
        p.drawLine(o, top + o, o, bottom + o);                  // left
        p.drawLine(o, bottom + o, right + o, bottom + o);       // bottom
        p.drawLine(right + o, top + o, right + o, bottom + o);  // right
        p.drawLine(o, top + o, gapStart - 1, top + o);          // top, left of the title
        p.drawLine(gapEnd, top + o, right + o, top + o);        // top, right of the title
    }
    if (!text.isEmpty()) {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRect(kTitleIndent, 0, gapEnd - kTitleIndent, metrics.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}
