#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "tests/display/LumeqHost.h"
#include "tests/display/ModalCloser.h"

namespace lumeq_test {
namespace {

using component::kOk;

constexpr DispId kAboutBox = -552;

QStringList LabelTexts(QWidget* w) {
    QStringList texts;
    for (QLabel* label : w->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

void GiveValues(component::Dispatch& ctrl) {
    for (DispId id = 1; id <= 9; ++id)
        Call(ctrl, id, {Variant::I2(static_cast<std::int16_t>(id * 17))});
    Call(ctrl, 11, {Variant::I4(0x00302010)});
    Call(ctrl, 12, {Variant::I4(0x0000FFFF)});
}

TEST(LumeqDialogTest, AboutBoxShowsModallyAndLeavesTheControlAsItWas) {
    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    GiveValues(*ctrl.Get());
    const QImage before = Picture(*ctrl.Get());

    QString title;
    QStringList texts;
    bool hasIcon = false;
    ModalCloser closer([&](QWidget* box) {
        title = box->windowTitle();
        texts = LabelTexts(box);
        for (QLabel* label : box->findChildren<QLabel*>())
            hasIcon = hasIcon || !label->pixmap().isNull();
        QPushButton* ok = nullptr;
        for (QPushButton* b : box->findChildren<QPushButton*>()) {
            if (b->text() == "OK")
                ok = b;
        }
        ASSERT_NE(ok, nullptr);
        EXPECT_TRUE(ok->isDefault());
        ok->click();
    });
    EXPECT_EQ(Call(*ctrl.Get(), kAboutBox), kOk);
    ASSERT_TRUE(closer.Seen());
    EXPECT_FALSE(closer.TimedOut());
    EXPECT_EQ(title, "About Lumeq Control");
    EXPECT_TRUE(texts.contains("Lumeq Control, Version 1.0")) << texts.join(" | ").toStdString();
    EXPECT_TRUE(hasIcon);
    EXPECT_TRUE(SamePicture(Picture(*ctrl.Get()), before));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(LumeqDialogTest, PropertiesShowTheGeneralPageWithNothingToEdit) {
    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    GiveValues(*ctrl.Get());
    const QImage before = Picture(*ctrl.Get());
    auto inPlace = ctrl.Query<component::InPlaceObject>(component::kIidInPlaceObject);
    ASSERT_TRUE(inPlace);

    QString title;
    QStringList tabs;
    QStringList texts;
    int inputs = -1;
    bool applyEnabled = true;
    ModalCloser closer([&](QWidget* frame) {
        title = frame->windowTitle();
        auto* tabWidget = frame->findChild<QTabWidget*>();
        ASSERT_NE(tabWidget, nullptr);
        for (int i = 0; i < tabWidget->count(); ++i)
            tabs << tabWidget->tabText(i);
        QWidget* page = tabWidget->widget(0);
        texts = LabelTexts(page);
        inputs = static_cast<int>(page->findChildren<QLineEdit*>().size() +
                                  page->findChildren<QAbstractSpinBox*>().size() +
                                  page->findChildren<QComboBox*>().size() +
                                  page->findChildren<QAbstractButton*>().size());
        auto* buttons = frame->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        applyEnabled = buttons->button(QDialogButtonBox::Apply)->isEnabled();
        buttons->button(QDialogButtonBox::Ok)->click();
    });
    EXPECT_EQ(inPlace->ShowProperties(nullptr), kOk);
    ASSERT_TRUE(closer.Seen());
    EXPECT_FALSE(closer.TimedOut());
    EXPECT_EQ(title, "Lumeq Control Properties");
    EXPECT_EQ(tabs, QStringList{"General"});
    EXPECT_EQ(texts, QStringList{"TODO: Place controls to manipulate properties of Lumeq Control "
                                 "on this dialog."});
    EXPECT_EQ(inputs, 0);
    EXPECT_FALSE(applyEnabled) << "a page that edits nothing never has changes to apply";
    EXPECT_TRUE(SamePicture(Picture(*ctrl.Get()), before));
}

TEST(LumeqDialogTest, ControlReleasedByTheHostWhileItsBoxIsOpenLivesUntilTheBoxCloses) {
    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    component::Dispatch* raw = ctrl.Get();
    ModalCloser closer([&](QWidget* box) {
        ctrl.Reset();  // the host lets go while the box's loop runs
        box->close();
    });
    EXPECT_EQ(raw->Invoke(kAboutBox, component::InvokeKind::Method, {}, nullptr, nullptr), kOk);
    EXPECT_TRUE(closer.Seen());
}

}  // namespace
}  // namespace lumeq_test
