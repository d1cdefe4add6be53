// The panel's typing item and its settings box, off screen: off until asked, a format that
// cannot be typed kept in the box, a back-end that cannot work shown and the item left off, the
// settings kept for the session.

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <functional>

#include "app/typing/TypingCompanion.h"
#include "app/typing/TypingSettings.h"
#include "tests/app/PanelHarness.h"

namespace {

// Runs `fill` on the settings box once it is shown, from inside its modal loop.
void WhenTheBoxShows(const std::function<void(TypingSettings&)>& fill) {
    QTimer::singleShot(0, [fill] {
        auto* box = qobject_cast<TypingSettings*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        fill(*box);
    });
}

void Press(TypingSettings& box, QDialogButtonBox::StandardButton which) {
    for (QPushButton* button : box.findChildren<QPushButton*>()) {
        auto* buttons = qobject_cast<QDialogButtonBox*>(button->parent());
        if (buttons && buttons->standardButton(button) == which)
            button->click();
    }
}

class PanelTyping : public testing::Test {
  protected:
    void SetUp() override { ::unsetenv("DISPLAY"); }

    apptest::PanelHarness h;
};

TEST_F(PanelTyping, OffUntilAskedForAndWithoutAMark) {
    TypingCompanion typing(*h.panel, {}, record::CaptureRule::kSettled, std::nullopt);
    EXPECT_EQ(typing.Item().text(), "&Type readings into the focused window");
    EXPECT_TRUE(typing.Item().isCheckable());
    EXPECT_FALSE(typing.Item().isChecked());
    EXPECT_FALSE(typing.Typing());
    EXPECT_TRUE(h.panel->Lamp().toolTip().isEmpty());
    EXPECT_TRUE(h.panel->SystemMenu().actions().contains(&typing.Item()));
}

TEST_F(PanelTyping, TheBoxKeepsAFormatThatCannotBeTypedAndABackEndThatCannotWorkIsShown) {
    TypingCompanion typing(*h.panel, {}, record::CaptureRule::kSettled, std::nullopt);
    QString problem;
    WhenTheBoxShows([&](TypingSettings& box) {
        box.Format().setText("{weight}");
        Press(box, QDialogButtonBox::Ok);
        problem = box.Problem().text();
        EXPECT_TRUE(box.isVisible());
        box.Format().setText("{value}{tab}{unit}{enter}");
        box.Decimal().setCurrentIndex(1);
        box.Via().setCurrentIndex(box.Via().findText("x11"));
        Press(box, QDialogButtonBox::Ok);
    });
    typing.Item().trigger();
    EXPECT_NE(problem.indexOf("unknown field '{weight}'"), -1) << problem.toStdString();
    ASSERT_EQ(h.boxes.size(), 1u);
    EXPECT_EQ(h.boxes[0].request.text, "cannot type: DISPLAY is not set");
    EXPECT_FALSE(typing.Item().isChecked());
    EXPECT_FALSE(typing.Typing());

    // What was chosen is the next box's start, for the session.
    wedge::TypeOptions shown;
    WhenTheBoxShows([&](TypingSettings& box) {
        shown = box.Options();
        Press(box, QDialogButtonBox::Cancel);
    });
    typing.Item().trigger();
    EXPECT_EQ(shown.format, "{value}{tab}{unit}{enter}");
    EXPECT_EQ(shown.decimal, ',');
    EXPECT_EQ(shown.via, wedge::Via::kX11);
    EXPECT_FALSE(typing.Item().isChecked());
    EXPECT_EQ(h.boxes.size(), 1u);
}

TEST_F(PanelTyping, TypeOnTheCommandLineStartsAtOnceOrSaysWhyNot) {
    wedge::TypeOptions options;
    options.enabled = true;
    options.via = wedge::Via::kX11;
    TypingCompanion typing(*h.panel, options, record::CaptureRule::kSettled, std::nullopt);
    ASSERT_EQ(h.boxes.size(), 1u);
    EXPECT_EQ(h.boxes[0].request.text, "cannot type: DISPLAY is not set");
    EXPECT_FALSE(typing.Item().isChecked());
}

}  // namespace
