#include "app/TroubleTip.h"

#include <QStringList>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace {

constexpr char kPrefix[] = "karvelTrouble_";

}  // namespace

void SetTroubleLine(QWidget& widget, const char* source, const QString& text) {
    const QByteArray key = QByteArray(kPrefix) + source;
    widget.setProperty(key.constData(), text.isEmpty() ? QVariant() : QVariant(text));
    QList<QByteArray> names;
    for (const QByteArray& name : widget.dynamicPropertyNames()) {
        if (name.startsWith(kPrefix))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    QStringList lines;
    for (const QByteArray& name : names)
        lines.push_back(widget.property(name.constData()).toString());
    widget.setToolTip(lines.join(QLatin1Char('\n')));
}
