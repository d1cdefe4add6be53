// A process name, a device path or a system text in a box is shown as it is, never as markup.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

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

// A question's answers by the keyboard: Enter takes the first (the default), Esc the one with
// the reject role.
TEST(MessageBox, AQuestionIsAnsweredByTheKeyboard) {
    const struct {
        Qt::Key key;
        int answer;
    } cases[] = {{Qt::Key_Return, 0}, {Qt::Key_Escape, 2}};
    for (const auto& c : cases) {
        int answer = -1;
        MessageBoxRequest request;
        request.caption = QStringLiteral("Karvel readings");
        request.text = QStringLiteral("Unsaved");
        request.choices = {{QStringLiteral("&Save as spreadsheet..."), QMessageBox::AcceptRole},
                           {QStringLiteral("&Discard"), QMessageBox::DestructiveRole},
                           {QStringLiteral("Cancel"), QMessageBox::RejectRole}};
        request.answer = &answer;
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_TRUE(box);
            for (const QAbstractButton* b : box->findChildren<QAbstractButton*>())
                buttons << b->text();
            QTest::keyClick(box, c.key);
        });
        ShowMessageBox(nullptr, request);
        EXPECT_EQ(answer, c.answer) << c.key;
        buttons.sort();
        EXPECT_EQ(buttons, (QStringList{"&Discard", "&Save as spreadsheet...", "Cancel"}));
    }
}

}  // namespace
