#pragma once

#include <QAccessibleWidget>

namespace lumeq {

class CLumeqWnd;

// The display as assistive technology meets it: a named text whose value is the reading.
class CLumeqAccessible final : public QAccessibleWidget {
  public:
    explicit CLumeqAccessible(CLumeqWnd* wnd);

    QString text(QAccessible::Text t) const override;

    // Makes Qt build one for every display window; safe to call more than once. UI thread.
    static void InstallFactory();
};

}  // namespace lumeq
