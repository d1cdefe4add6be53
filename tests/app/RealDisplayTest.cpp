// The panel with the real display control, created through the program's manifest.

#include <QTest>

#include <gtest/gtest.h>

#include "CScalePanelDlg.h"
#include "PortDirectory.h"

namespace apptest {
namespace {

TEST(RealDisplay, ThePanelShowsAGreenClearedDisplayFromTheManifestsLibrary) {
    qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    PortDirectory ports;  // nothing to find
    PanelServices services;
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

    panel.OnDestroy();
    EXPECT_EQ(panel.DisplayControl().Widget(), nullptr);
    EXPECT_TRUE(panel.findChildren<QWidget*>().contains(control) == false);
    qunsetenv("KARVEL_COMPONENT_MANIFEST");
}

}  // namespace
}  // namespace apptest
