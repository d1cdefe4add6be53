// The panel's window: layout converted from dialog units by edges, captions, menu, About box,
// colours.

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "app/CAboutBox.h"
#include "app/CScalePanelApp.h"
#include "app/CommandLine.h"
#include "app/Resources.h"
#include "tests/app/PanelHarness.h"
#include "tests/support/PumpUntil.h"
#include "tools/peers/PortDirectory.h"

namespace apptest {
namespace {

using testing_support::PortDirectory;
using testing_support::PumpUntil;

class PanelLayoutTest : public ::testing::Test {
  protected:
    void SetUp() override { h.Start(); }

    PortDirectory ports;  // empty: the scan finds nothing, quickly
    PanelHarness h{ports.Ports()};
};

TEST_F(PanelLayoutTest, ItemsSitWhereTheTemplatePutsThem) {
    CScalePanelDlg& p = *h.panel;
    EXPECT_EQ(p.size(), QSize(576, 306));
    EXPECT_EQ(h.log->activatedAt, QRect(187, 44, 359, 101));
    EXPECT_EQ(h.log->activatedIn, &p);
    EXPECT_EQ(p.KeyButton(1001)->geometry(), QRect(180, 174, 65, 65));
    EXPECT_EQ(p.KeyButton(1002)->geometry(), QRect(282, 174, 65, 65));
    EXPECT_EQ(p.KeyButton(1003)->geometry(), QRect(383, 174, 65, 65));
    EXPECT_EQ(p.KeyButton(1004)->geometry(), QRect(485, 174, 65, 65));
    EXPECT_EQ(p.StatusLine().geometry(), QRect(5, 271, 412, 30));
    EXPECT_EQ(p.OpenCloseButton().geometry(), QRect(74, 232, 71, 25));
    EXPECT_EQ(p.Lamp().geometry(), QRect(23, 228, 32, 32));
    EXPECT_EQ(p.PortList().pos(), QPoint(63, 28));
    EXPECT_EQ(p.PortList().width(), 84);

    std::map<QString, QRect> frames;
    for (const QGroupBox* box : p.findChildren<QGroupBox*>())
        frames[box->title()] = box->geometry();
    const std::map<QString, QRect> expectedFrames = {
        {"", QRect(175, 31, 382, 122)},
        {"MODE: Karvel Serial Scale", QRect(166, 7, 405, 260)},
        {"Serial Port Setting", QRect(5, 7, 153, 260)},
    };
    EXPECT_EQ(frames, expectedFrames);

    bool foundPortLabel = false;
    for (const QLabel* label : p.findChildren<QLabel*>()) {
        if (label->text() == "PORT:") {
            foundPortLabel = true;
            EXPECT_EQ(label->geometry(), QRect(19, 31, 37, 13));
        }
    }
    EXPECT_TRUE(foundPortLabel);

    // The frames lie over the keys but take no clicks.
    for (int id = 1001; id <= 1004; ++id) {
        CKeyButton* key = p.KeyButton(id);
        EXPECT_EQ(p.childAt(key->geometry().center()), key) << id;
    }
}

TEST_F(PanelLayoutTest, TheStatusLineDrawsTheFullWidthCommaOfTheOpenText) {
    const QFont font = h.panel->StatusLine().font();
    EXPECT_TRUE(QFontMetrics(font).inFontUcs4(0xFF0C));
    // Drawn, it is no missing-glyph box: it differs from an unassigned character's picture.
    const auto draw = [&](char32_t c) {
        QImage image(48, 48, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(image.rect(), Qt::AlignCenter, QString::fromUcs4(&c, 1));
        return image;
    };
    const QImage comma = draw(0xFF0C);
    EXPECT_NE(comma, draw(0x0378));
    EXPECT_NE(comma, draw(U' '));
}

TEST_F(PanelLayoutTest, CaptionNoMaximiseAndAnEditablePortListOfCom1ToCom32) {
    CScalePanelDlg& p = *h.panel;
    EXPECT_EQ(p.windowTitle(), "Karvel");
    EXPECT_FALSE(p.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(p.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(p.minimumSize(), p.maximumSize());
    EXPECT_FALSE(p.windowIcon().isNull());

    QComboBox& list = p.PortList();
    EXPECT_TRUE(list.isEditable());
    ASSERT_EQ(list.count(), 32);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(list.itemText(i), QStringLiteral("COM%1").arg(i + 1));
        EXPECT_FALSE(list.itemData(i, Qt::ToolTipRole).toString().isEmpty()) << i;
    }
}

// Closes the About box as soon as it runs and tells what it showed.
struct AboutWatcher {
    explicit AboutWatcher(CScalePanelDlg& panel) {
        QObject::connect(&panel, &CScalePanelDlg::aboutBoxOpening, [this] {
            ++opened;
            QTimer::singleShot(0, [this] {
                QWidget* box = QApplication::activeModalWidget();
                if (!box)
                    return;
                title = box->windowTitle();
                for (const QLabel* label : box->findChildren<QLabel*>())
                    texts << label->text();
                box->close();
            });
        });
    }
    int opened = 0;
    QString title;
    QStringList texts;
};

TEST_F(PanelLayoutTest, TheAboutBoxComesFromCommand16TheMenuAndF1) {
    AboutWatcher about(*h.panel);
    h.panel->OnSysCommand(0x10, 0);
    EXPECT_EQ(about.opened, 1);
    EXPECT_EQ(about.title, "About Karvel");
    EXPECT_TRUE(about.texts.contains("Karvel Version 1.0"));
    h.panel->OnSysCommand(0x1F, 0);
    EXPECT_EQ(about.opened, 2);
    h.panel->OnSysCommand(0x20, 0);
    h.panel->OnSysCommand(0x00, 0);
    EXPECT_EQ(about.opened, 2);

    // The menu ends with a separator and the About item; F1 does the same.
    const QList<QAction*> actions = h.panel->SystemMenu().actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.last()->text(), "&About Karvel...");
    actions.last()->trigger();
    EXPECT_EQ(about.opened, 3);
    h.panel->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.panel.get()));
    QTest::keyClick(h.panel.get(), Qt::Key_F1);
    EXPECT_EQ(about.opened, 4);
}

// Right-click shows the menu; each item carries the key that does the same.
TEST_F(PanelLayoutTest, TheContextMenuShowsTheKeyOfEachItem) {
    h.panel->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.panel.get()));
    QMap<QString, QString> shown;  // item text: the key it shows
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (const QAction* action : menu->actions()) {
            if (action->isShortcutVisibleInContextMenu())
                shown[action->text()] = action->shortcut().toString();
        }
        menu->close();
    });
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 10),
                            h.panel->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(h.panel.get(), &click);
    EXPECT_EQ(shown.value("Copy reading"), "Ctrl+C");
    EXPECT_EQ(shown.value("Large readout"), "F11");
    EXPECT_EQ(shown.value("&About Karvel..."), "F1");
}

// The described caption, and the port beside it when the user named one.
TEST(PanelTitle, NamesThePortGivenToOpen) {
    PortDirectory ports;
    PanelHarness h{ports.Ports()};
    h.panel->SetStartPort("COM3");
    EXPECT_EQ(h.panel->windowTitle(), "Karvel - COM3");
    h.panel->SetStartPort("");
    EXPECT_EQ(h.panel->windowTitle(), "Karvel");
}

TEST(AboutBox, FollowsItsTemplate) {
    CAboutBox box;
    EXPECT_EQ(box.windowTitle(), "About Karvel");
    EXPECT_EQ(box.size(), QSize(353, 89));
    QStringList texts;
    for (const QLabel* label : box.findChildren<QLabel*>()) {
        if (label->objectName() == "icon")
            EXPECT_FALSE(label->pixmap().isNull());
        else
            texts << label->text();
    }
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], "Karvel Version 1.0");
    // The release's full number, as --version gives it.
    const QString release = VersionText().section('\n', 0, 0).section(' ', 1);
    EXPECT_TRUE(release.startsWith("1.0.") && texts[1].endsWith(" " + release))
        << texts[1].toStdString();
    const auto* ok = box.findChild<QPushButton*>("ok");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->geometry(), QRect(267, 11, 75, 23));
}

TEST(DialogColours, GreyBackgroundAndBlackTextForEveryDialog) {
    const QPalette saved = QApplication::palette("QDialog");
    const QPalette savedBox = QApplication::palette("QMessageBox");
    CScalePanelApp::SetDialogBkColor(QColor(0x9C, 0x9C, 0x9C), Qt::black);
    {
        PortDirectory ports;
        PanelHarness h(ports.Ports());
        CAboutBox about;
        QMessageBox box;
        for (QWidget* dialog : std::initializer_list<QWidget*>{h.panel.get(), &about, &box}) {
            dialog->ensurePolished();  // as showing it does
            EXPECT_EQ(dialog->palette().color(QPalette::Window), QColor(156, 156, 156))
                << dialog->metaObject()->className();
            EXPECT_EQ(dialog->palette().color(QPalette::WindowText), QColor(0, 0, 0))
                << dialog->metaObject()->className();
        }
        h.panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(h.panel.get()));
        // Around the frames the panel shows its own grey.
        const QImage shot = h.panel->grab().toImage();
        EXPECT_EQ(shot.pixelColor(2, 2), QColor(156, 156, 156));
        EXPECT_EQ(shot.pixelColor(2, 150), QColor(156, 156, 156));
        EXPECT_EQ(shot.pixelColor(573, 150), QColor(156, 156, 156));
    }
    QApplication::setPalette(saved, "QDialog");
    QApplication::setPalette(savedBox, "QMessageBox");
}

}  // namespace
}  // namespace apptest

namespace apptest {
namespace {

TEST(EngineFailure, IsShownOnTheUiThreadWhileTheReportingThreadWaits) {
    PortDirectory ports;
    struct Seen {
        QThread* thread = nullptr;
        QWidget* parent = reinterpret_cast<QWidget*>(1);
        MessageBoxRequest request;
        bool reporterHadReturned = true;
    } seen;
    std::atomic<bool> returned{false};
    PanelServices services;
    services.ports = ports.Ports();
    services.createControl = RecordingCreator(std::make_shared<DisplayLog>());
    services.presenter = [&](QWidget* parent, const MessageBoxRequest& request) {
        seen = {QThread::currentThread(), parent, request, returned.load()};
    };
    CScalePanelDlg panel(services);

    std::thread watch([&] {
        panel.ReportEngineFailure("Application Error",
                                  "WARNING:  ReadFile() Failed with the following error: \n"
                                  "Input/output error\nPort: 3\n");
        returned = true;
    });
    // The box is shown while the UI thread handles its events; the reporter then returns.
    EXPECT_TRUE(PumpUntil([&] { return seen.thread != nullptr; }));
    watch.join();
    EXPECT_TRUE(returned.load());

    EXPECT_EQ(seen.thread, QApplication::instance()->thread());
    EXPECT_FALSE(seen.reporterHadReturned);
    EXPECT_EQ(seen.parent, nullptr);
    EXPECT_EQ(seen.request.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.request.caption, "Application Error");
    EXPECT_TRUE(seen.request.text.startsWith("WARNING:  ReadFile() Failed"));
}

}  // namespace
}  // namespace apptest
