// A process name, a device path or a system text in a box is shown as it is, never as markup.

#include <gtest/gtest.h>

#include <QLabel>

#include "app/MessagePresenter.h"

namespace {

TEST(MessageBox, ShowsMarkupAsPlainText) {
    const MessageBoxRequest request{QMessageBox::Warning, QStringLiteral("Karvel"),
                                    QStringLiteral("COM1 is held by <h1>EVIL</h1>"),
                                    QStringLiteral("<b>/dev/ttyS0</b>")};
    const auto box = MakeMessageBox(nullptr, request);
    int shown = 0;
    for (const QLabel* label : box->findChildren<QLabel*>()) {
        if (label->text() == request.text || label->text() == request.detail) {
            ++shown;
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
        }
    }
    EXPECT_EQ(shown, 2);
}

}  // namespace
