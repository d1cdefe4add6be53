#include "display/CLumeqAccessible.h"

#include <algorithm>

#include "display/CLumeqWnd.h"

namespace lumeq {

namespace {

QAccessibleInterface* CreateForDisplay(const QString&, QObject* object) {
    if (auto* wnd = qobject_cast<CLumeqWnd*>(object))
        return new CLumeqAccessible(wnd);  // owned by Qt's accessibility cache
    return nullptr;
}

}  // namespace

// A paragraph: screen readers say its name and text when it gets the focus and again when its
// value changes; a plain label would be silent on a change.
CLumeqAccessible::CLumeqAccessible(CLumeqWnd* wnd)
    : QAccessibleWidget(wnd, QAccessible::Paragraph) {}

void* CLumeqAccessible::interface_cast(QAccessible::InterfaceType t) {
    if (t == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    if (t == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

QString CLumeqAccessible::Reading() const {
    return static_cast<const CLumeqWnd*>(widget())->Reading();
}

QString CLumeqAccessible::text(QAccessible::Text t) const {
    switch (t) {
        case QAccessible::Name:
            return QStringLiteral("Scale display");
        case QAccessible::Value:
            return Reading();
        case QAccessible::Description:
            return QStringLiteral("The scale's front-panel readout");
        default:
            return QAccessibleWidget::text(t);
    }
}

QString CLumeqAccessible::text(int startOffset, int endOffset) const {
    const QString reading = Reading();
    // -1 as the end means "to the end", as assistive technology asks for the whole text.
    if (endOffset < 0 || endOffset > reading.size())
        endOffset = static_cast<int>(reading.size());
    startOffset = std::clamp(startOffset, 0, endOffset);
    return reading.mid(startOffset, endOffset - startOffset);
}

int CLumeqAccessible::characterCount() const {
    return static_cast<int>(Reading().size());
}

void CLumeqAccessible::selection(int, int* startOffset, int* endOffset) const {
    *startOffset = 0;
    *endOffset = 0;
}

QRect CLumeqAccessible::characterRect(int) const {
    return {};
}

QString CLumeqAccessible::attributes(int, int* startOffset, int* endOffset) const {
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

QVariant CLumeqAccessible::currentValue() const {
    const auto value = static_cast<const CLumeqWnd*>(widget())->Value();
    return value ? QVariant(*value) : QVariant();
}

void CLumeqAccessible::InstallFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(CreateForDisplay);
        return true;
    }();
    (void)installed;
}

}  // namespace lumeq
