// karvel-read --type under a private X server, typing into real clients that have the focus: a
// form of line edits in another process, and a terminal whose shell writes what it receives into
// a file. Under the us, fr and de layouts; a character the layout lacks; never while a key is
// held; nothing from plain karvel-read; and no display, no typing.

#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/read/ReadTestSupport.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/WaitFor.h"
#include "tests/support/XServer.h"
#include "tests/wedge/WeighingFrames.h"
#include "tests/wedge/XClient.h"
#include "tools/peers/PortDirectory.h"

namespace wedgetest {
namespace {

using readtest::Child;
using testing_support::PtyPeer;
using testing_support::WaitFor;
using testing_support::WaitForFile;

class TypingUnderX : public testing::Test {
  protected:
    void SetUp() override {
        if (m_x.Display().empty())
            GTEST_SKIP() << m_x.Why();
        ::setenv("DISPLAY", m_x.Display().c_str(), 1);
        // The form shows on that server, not off screen as the other tests' windows.
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("KARVEL_PORT_DIR", m_ports.Path().c_str(), 1);
        m_client = std::make_unique<XClient>(m_x.Display());
        ASSERT_TRUE(m_client->Connected());
    }
    void TearDown() override {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::unsetenv("DISPLAY");
        ::unsetenv("KARVEL_PORT_DIR");
    }

    // The form, started and holding the focus.
    std::unique_ptr<Child> StartForm(std::vector<std::string> options = {}) {
        options.insert(options.begin(), WEDGE_FORM_PROBE);
        auto form = std::make_unique<Child>(options);
        const auto ready = form->ReadLine();
        EXPECT_EQ(ready, "ready") << form->Errors();
        return ready == "ready" ? std::move(form) : nullptr;
    }

    // A terminal over the whole screen whose shell copies what it is typed into `file`; the
    // pointer is put over it, so it has the keys.
    std::unique_ptr<Child> StartTerminal(const std::string& file) {
        const std::string ready = m_scratch / "terminal-ready";
        auto terminal = std::make_unique<Child>(
            std::vector<std::string>{"/usr/bin/xterm", "-geometry", "100x40+0+0", "-e", "/bin/sh",
                                     "-c", "echo > '" + ready + "'; exec cat > '" + file + "'"});
        if (!WaitForFile(ready, [](const std::string&) { return true; }))
            return nullptr;
        m_client->MovePointer(40, 40);
        return WaitFor([&] { return m_client->WindowUnderPointer(); }) ? std::move(terminal)
                                                                       : nullptr;
    }

    // Runs `karvel-read --count N` with `extra` on COM1 while the scale shows each of
    // `weighings`, settled, with the empty pan between them; its exit status. What it printed
    // goes to `printed` when given.
    int Weigh(const std::vector<std::string>& weighings, std::vector<std::string> extra,
              std::string* errors, std::vector<std::string>* printed = nullptr) {
        PtyPeer scale(PtyPeer::Role::Scale);
        m_ports.Map(1, scale.DevicePath());
        std::vector<std::string> argv = {readtest::ReaderPath(), "--port", "COM1", "--count",
                                         std::to_string(weighings.size())};
        argv.insert(argv.end(), extra.begin(), extra.end());
        Child reader(argv);
        if (!reader.WaitForError("reading COM1")) {
            *errors = reader.Errors();
            return -1;
        }
        for (const std::string& weight : weighings) {
            scale.Send(WeighingFrame(weight, false));
            scale.Send(WeighingFrame(weight));
            scale.Send(WeighingFrame("0.000", true, true));
        }
        const auto status = reader.Wait();
        *errors = reader.Errors();
        while (printed) {
            const auto line = reader.ReadLine(std::chrono::seconds(0));
            if (!line)
                break;
            printed->push_back(*line);
        }
        m_ports.Unmap(1);
        return status.value_or(-1);
    }

    testing_support::XServer m_x;
    testing_support::PortDirectory m_ports;
    testing_support::TempDir m_scratch;
    std::unique_ptr<XClient> m_client;
};

struct Case {
    const char* layout;
    std::vector<std::string> options;
    std::vector<std::string> formLines;  // what the form prints for 12.345 and 7.5
    std::string terminalText;            // what the terminal's shell receives for them
};

const std::vector<std::string> kTab = {"--type-format", "{value}{tab}{unit}{enter}"};
const std::vector<std::string> kComma = {"--type-decimal", ","};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Case kCases[] = {
    {"us", {}, {"12.345", "7.5"}, "12.345\n7.5\n"},
    {"us", Join(kTab, kComma), {"12,345\tkg", "7,5\tkg"}, "12,345\tkg\n7,5\tkg\n"},
    {"fr", {}, {"12.345", "7.5"}, "12.345\n7.5\n"},
    {"fr", Join(kTab, kComma), {"12,345\tkg", "7,5\tkg"}, "12,345\tkg\n7,5\tkg\n"},
    {"de", {}, {"12.345", "7.5"}, "12.345\n7.5\n"},
    {"de", Join(kTab, kComma), {"12,345\tkg", "7,5\tkg"}, "12,345\tkg\n7,5\tkg\n"},
};

TEST_F(TypingUnderX, EachSettledWeighingIsTypedExactlyIntoTheFocusedForm) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.layout) + " " + testing::PrintToString(c.options));
        ASSERT_TRUE(m_x.SetLayout(c.layout));
        auto form = StartForm();
        ASSERT_TRUE(form);
        std::string errors;
        ASSERT_EQ(Weigh({"12.345", "7.5"}, Join({"--type"}, c.options), &errors), 0) << errors;
        for (const std::string& line : c.formLines)
            EXPECT_EQ(form->ReadLine(), line) << form->Errors() << errors;
    }
}

TEST_F(TypingUnderX, EachSettledWeighingIsTypedExactlyIntoTheFocusedTerminal) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.layout) + " " + testing::PrintToString(c.options));
        ASSERT_TRUE(m_x.SetLayout(c.layout));
        const std::string file = m_scratch / (std::string("typed-") + c.layout);
        auto terminal = StartTerminal(file);
        ASSERT_TRUE(terminal);
        std::string errors;
        ASSERT_EQ(Weigh({"12.345", "7.5"}, Join({"--type"}, c.options), &errors), 0) << errors;
        EXPECT_TRUE(WaitForFile(
            file, [&](const std::string& text) { return text.size() >= c.terminalText.size(); }));
        EXPECT_EQ(testing_support::ReadFile(file), c.terminalText) << errors;
        terminal->Signal(SIGTERM);
    }
}

// A program that takes 40 ms over each key (twice the pace) still gets every one, in order.
TEST_F(TypingUnderX, ASlowProgramLosesNoKey) {
    ASSERT_TRUE(m_x.SetLayout("de"));
    auto form = StartForm({"--slow", "40"});
    ASSERT_TRUE(form);
    const std::vector<std::string> weighings = {"12.345", "-0.50", "7.5", "100.0", "3.21"};
    std::string errors;
    ASSERT_EQ(Weigh(weighings, Join({"--type"}, kTab), &errors), 0) << errors;
    for (const std::string& weight : weighings)
        EXPECT_EQ(form->ReadLine(), weight + "\tkg") << form->Errors() << errors;
}

// The layout has no euro sign: a spare key is given it for the moment, and cleared again.
TEST_F(TypingUnderX, ACharacterTheLayoutLacksComesThroughASpareKeyGivenBack) {
    ASSERT_TRUE(m_x.SetLayout("us"));
    const std::vector<unsigned long> before = m_client->KeyboardMap();
    auto form = StartForm();
    ASSERT_TRUE(form);
    std::string errors;
    ASSERT_EQ(
        Weigh({"12.345"}, {"--type", "--type-format", "{value} \xe2\x82\xac{enter}"}, &errors), 0)
        << errors;
    EXPECT_EQ(form->ReadLine(), "12.345 \xe2\x82\xac") << form->Errors() << errors;
    EXPECT_EQ(m_client->KeyboardMap(), before);
}

TEST_F(TypingUnderX, NothingIsTypedWhileTheUserHoldsAKey) {
    ASSERT_TRUE(m_x.SetLayout("us"));
    auto form = StartForm();
    ASSERT_TRUE(form);
    PtyPeer scale(PtyPeer::Role::Scale);
    m_ports.Map(1, scale.DevicePath());
    Child reader({readtest::ReaderPath(), "--type", "--port", "COM1", "--count", "1"});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    m_client->Shift(true);
    scale.Send(WeighingFrame("12.345"));
    ASSERT_TRUE(reader.WaitForError("waiting to type: a key is held down")) << reader.Errors();
    m_client->Shift(false);
    ASSERT_EQ(reader.Wait(), 0) << reader.Errors();
    // Typed with Shift still down it would have been "!@>#$%".
    EXPECT_EQ(form->ReadLine(), "12.345") << form->Errors();
}

// The focus moves to another window while a long value is typed: the rest of it, Enter
// included, goes nowhere, and that is said.
TEST_F(TypingUnderX, AValueIsNotTypedOnWhenTheFocusMoves) {
    ASSERT_TRUE(m_x.SetLayout("us"));
    auto other = StartForm({"--title", "Other form"});
    auto form = StartForm({"--tell-keys"});
    ASSERT_TRUE(other && form);
    PtyPeer scale(PtyPeer::Role::Scale);
    m_ports.Map(1, scale.DevicePath());
    std::string format;
    for (int i = 0; i < 10; ++i)
        format += "{value}";
    Child reader({readtest::ReaderPath(), "--type", "--type-format", format + "{enter}", "--port",
                  "COM1", "--count", "1"});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    scale.Send(WeighingFrame("12.345"));
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(form->ReadLine(), "key") << form->Errors();
    ASSERT_TRUE(m_client->Focus("Other form"));
    ASSERT_TRUE(reader.WaitForError("not typed: the focus moved")) << reader.Errors();
    ASSERT_EQ(reader.Wait(), 0) << reader.Errors();
    int keys = 3;
    while (const auto line = form->ReadLine(std::chrono::seconds(0))) {
        ASSERT_EQ(*line, "key") << "the form got its Enter";
        ++keys;
    }
    EXPECT_LT(keys, 60);
    EXPECT_FALSE(other->ReadLine(std::chrono::seconds(0))) << "Enter went to the other form";
}

// Caps Lock left on would type "KG": it is off while typing, and on again after. --quiet
// prints nothing.
TEST_F(TypingUnderX, CapsLockLeftOnDoesNotChangeWhatIsTyped) {
    ASSERT_TRUE(m_x.SetLayout("us"));
    auto form = StartForm();
    ASSERT_TRUE(form);
    m_client->SetCapsLock(true);
    std::string errors;
    std::vector<std::string> printed;
    ASSERT_EQ(Weigh({"12.345"}, Join({"--type", "--quiet"}, kTab), &errors, &printed), 0) << errors;
    EXPECT_TRUE(printed.empty()) << printed.front();
    EXPECT_EQ(form->ReadLine(), "12.345\tkg") << form->Errors() << errors;
    EXPECT_TRUE(m_client->CapsLock());
    m_client->SetCapsLock(false);
}

TEST_F(TypingUnderX, PlainKarvelReadTypesNothing) {
    ASSERT_TRUE(m_x.SetLayout("us"));
    auto form = StartForm();
    ASSERT_TRUE(form);
    std::string errors;
    ASSERT_EQ(Weigh({"11.111"}, {"--capture", "settled"}, &errors), 0) << errors;
    // Typing prints as before.
    std::vector<std::string> printed;
    ASSERT_EQ(Weigh({"12.345"}, {"--type"}, &errors, &printed), 0) << errors;
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_NE(printed[0].find("\"text\":\"12.345\""), std::string::npos) << printed[0];
    // The form's first line is the typed run's: the plain run before it sent no key.
    EXPECT_EQ(form->ReadLine(), "12.345") << form->Errors();
}

// The panel types into the form as the reader does, and nothing while one of its own windows
// has the focus: there Enter would end the panel.
TEST_F(TypingUnderX, ThePanelTypesIntoTheFocusedWindowAndNeverIntoItsOwn) {
    ASSERT_TRUE(m_x.SetLayout("fr"));
    PtyPeer scale(PtyPeer::Role::Scale);
    m_ports.Map(1, scale.DevicePath());
    Child panel({KARVEL_BINARY, "--type", "--port", "COM1"});
    ASSERT_TRUE(WaitFor([&] { return m_client->Shows("COM1"); })) << panel.Errors();
    // Whether or not the panel took the focus when it showed, it has it now, then the form.
    ASSERT_TRUE(m_client->Focus("COM1"));
    ASSERT_TRUE(panel.WaitForError("typing paused: a Karvel window has the focus"))
        << panel.Errors();
    auto form = StartForm();
    ASSERT_TRUE(form);
    ASSERT_TRUE(panel.WaitForError("typing into the focused window again")) << panel.Errors();
    scale.Send(WeighingFrame("12.345"));
    EXPECT_EQ(form->ReadLine(), "12.345") << form->Errors() << panel.Errors();

    std::size_t said = panel.Errors().size();
    ASSERT_TRUE(m_client->Focus("COM1"));
    ASSERT_TRUE(panel.WaitForError("typing paused", readtest::kPatience, said));
    scale.Send(WeighingFrame("0.000", true, true));
    scale.Send(WeighingFrame("7.5"));
    ASSERT_TRUE(panel.WaitForError("not typed: a Karvel window has the focus")) << panel.Errors();

    said = panel.Errors().size();
    ASSERT_TRUE(m_client->Focus("Weighing form"));
    ASSERT_TRUE(
        panel.WaitForError("typing into the focused window again", readtest::kPatience, said));
    scale.Send(WeighingFrame("0.000", true, true));
    scale.Send(WeighingFrame("3.2"));
    EXPECT_EQ(form->ReadLine(), "3.2") << form->Errors() << panel.Errors();
    EXPECT_EQ(panel.Wait(std::chrono::seconds(0)), std::nullopt) << "the panel ended";
}

TEST(TypingWithoutDisplay, X11SaysWhyAndExits1) {
    const char* display = std::getenv("DISPLAY");
    const std::string kept = display ? display : "";
    ::unsetenv("DISPLAY");
    Child reader({readtest::ReaderPath(), "--type", "--type-via", "x11", "--port", "COM1"});
    EXPECT_EQ(reader.Wait(), 1);
    EXPECT_NE(reader.Errors().find("karvel-read: cannot type: DISPLAY is not set\n"),
              std::string::npos)
        << reader.Errors();
    if (!kept.empty())
        ::setenv("DISPLAY", kept.c_str(), 1);
}

}  // namespace
}  // namespace wedgetest
