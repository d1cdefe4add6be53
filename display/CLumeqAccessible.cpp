#include "CLumeqAccessible.h"

#include "CLumeqWnd.h"

namespace lumeq {

namespace {

QAccessibleInterface* CreateForDisplay(const QString&, QObject* object) {
    if (auto* wnd = qobject_cast<CLumeqWnd*>(object))
        return new CLumeqAccessible(wnd);  // owned by Qt's accessibility cache
    return nullptr;
}

}  // namespace

CLumeqAccessible::CLumeqAccessible(CLumeqWnd* wnd)
    : QAccessibleWidget(wnd, QAccessible::StaticText) {}

QString CLumeqAccessible::text(QAccessible::Text t) const {
    const auto* wnd = static_cast<const CLumeqWnd*>(widget());
    switch (t) {
        case QAccessible::Name:
            return QStringLiteral("Scale display");
        case QAccessible::Value:
            return wnd->Reading();
        case QAccessible::Description:
            return QStringLiteral("The scale's front-panel readout");
        default:
            return QAccessibleWidget::text(t);
    }
}

void CLumeqAccessible::InstallFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(CreateForDisplay);
        return true;
    }();
    (void)installed;
}

}  // namespace lumeq
