// The panel with the real display control, created through the program's manifest.

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "app/CScalePanelDlg.h"
#include "tools/peers/PortDirectory.h"

namespace apptest {
namespace {

using testing_support::PortDirectory;

TEST(RealDisplay, ThePanelShowsAGreenClearedDisplayFromTheManifestsLibrary) {
    qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    PortDirectory ports;  // nothing to find
    PanelServices services;
    services.ports = ports.Ports();
    services.presenter = [](QWidget*, const MessageBoxRequest& r) {
        ADD_FAILURE() << r.text.toStdString();
    };
    CScalePanelDlg panel(services);
    ASSERT_EQ(panel.CreateDisplayControl(), component::kOk);
    panel.OnInitDialog();
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));

    QWidget* control = panel.DisplayControl().Widget();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parentWidget(), &panel);
    EXPECT_EQ(control->geometry(), QRect(187, 44, 359, 101));
    const QImage shot = control->grab().toImage();
    // Pure green background; with every slot cleared nothing else is lit.
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(0, 255, 0));
    EXPECT_EQ(shot.pixelColor(180, 50), QColor(0, 255, 0));
    EXPECT_EQ(shot.pixelColor(350, 95), QColor(0, 255, 0));

    // What a screen reader is told, and what Ctrl+C copies.
    // A key says what it does; its bytes are in the tooltip only.
    const struct {
        int id;
        const char* name;
        const char* does;
        const char* bytes;
    } keys[] = {
        {1001, "DATA", "Sends the reading", "'D' (0x44); a double-click sends 0xC4"},
        {1002, "MODE", "Changes the unit", "'M' (0x4D); a double-click sends 0xCD"},
        {1003, "TARE", "Tares the load on the pan", "'T' (0x54); a double-click sends 0xD4"},
        {1004, "ON/OFF", "Switches the scale on or off", "'O' (0x4F); a double-click sends 0xCF"}};
    for (const auto& key : keys) {
        const CKeyButton* button = panel.KeyButton(key.id);
        EXPECT_EQ(button->accessibleName(), key.name);
        EXPECT_TRUE(button->accessibleDescription().startsWith(key.does))
            << button->accessibleDescription().toStdString();
        EXPECT_TRUE(button->accessibleDescription().contains("double-click"));
        EXPECT_FALSE(button->accessibleDescription().contains("0x"));
        EXPECT_TRUE(button->toolTip().contains(key.bytes)) << button->toolTip().toStdString();
    }
    // The port list: a port shown and said, not a field to edit.
    EXPECT_TRUE(panel.PortList().accessibleDescription().startsWith("Serial port"));
    QAccessibleInterface* field =
        QAccessible::queryAccessibleInterface(panel.PortList().lineEdit());
    ASSERT_NE(field, nullptr);
    EXPECT_FALSE(field->state().editable);
    EXPECT_TRUE(field->state().readOnly);
    ASSERT_NE(field->textInterface(), nullptr);
    EXPECT_EQ(field->textInterface()->selectionCount(), 0);
    panel.PortList().lineEdit()->selectAll();
    EXPECT_EQ(field->textInterface()->selectionCount(), 0);
    EXPECT_EQ(field->text(QAccessible::Value), panel.PortList().currentText());
    EXPECT_EQ(panel.Lamp().accessibleName(), "Port closed");
    CLumeq& display = panel.DisplayControl();
    display.SetHex1(0x06);
    display.SetHex2(0x5B);
    display.SetHex3(0xCF);
    display.SetHex4(0x66);
    display.SetHex5(0x6D);
    display.SetHex6(0x7D);
    display.SetUnit(0x01);
    display.Display();
    QGuiApplication::clipboard()->clear();
    panel.KeyButton(1001)->setFocus();
    QTest::keyClick(panel.KeyButton(1001), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "123.456 kg");

    panel.OnDestroy();
    EXPECT_EQ(panel.DisplayControl().Widget(), nullptr);
    EXPECT_TRUE(panel.findChildren<QWidget*>().contains(control) == false);
    qunsetenv("KARVEL_COMPONENT_MANIFEST");
}

}  // namespace
}  // namespace apptest
