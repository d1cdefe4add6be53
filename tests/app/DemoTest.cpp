// --demo's simulated scale, and the panel in front of it.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>

#include <gtest/gtest.h>

#include "app/DemoFolder.h"
#include "app/DemoScale.h"
#include "tests/app/PanelHarness.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/Sanitizers.h"

namespace apptest {
namespace {

using testing_support::PumpUntil;

using testing_support::kThreadSanitizer;

TEST(Demo, ThePanelFindsTheSimulatedScaleOnCom5AndMirrorsIt) {
    // Measured: QProcess starts the simulator with vfork semantics, and what the child does
    // before it runs the simulator acts on this thread's ThreadSanitizer state; the engine's send
    // buffer is then reported as racing although both sides hold its lock. The engine's threads
    // are checked by the other tests, and Karvel --demo as a whole by the program test.
    if (kThreadSanitizer)
        GTEST_SKIP() << "starts a process with QProcess, after which ThreadSanitizer reports false "
                        "races in this one";
    QString portDir;
    {
        DemoScale demo;
        QString error;
        ASSERT_TRUE(demo.Start(QStringLiteral(KARVEL_SCALESIM), &error)) << error.toStdString();
        portDir = demo.PortDir();
        for (int n = 1; n <= 5; ++n)
            EXPECT_TRUE(QFileInfo::exists(QDir(portDir).filePath(QStringLiteral("COM%1").arg(n))));

        PanelHarness h(std::make_shared<serial_port::PortMap>(portDir.toStdString()));
        h.Start();
        EXPECT_EQ(h.panel->Port(), 5);
        EXPECT_EQ(h.Status(), "STATUS:COM5  OPENED,9600,N,8,1");
        // The simulator sends frames on its own: each one ends with a Display call.
        const auto displays = [&] {
            return std::count(h.log->calls.begin(), h.log->calls.end(), NoArgCall(10));
        };
        const auto before = displays();
        EXPECT_TRUE(PumpUntil([&] { return displays() >= before + 2; }));
        EXPECT_TRUE(h.boxes.empty());
    }
    EXPECT_FALSE(QFileInfo::exists(portDir));
}

// The session's runtime folder when it names one that exists; else the temporary folder.
TEST(Demo, ItsFolderGoesIntoTheSessionsRuntimeFolderWhenThereIsOne) {
    const QTemporaryDir runtime;
    const struct {
        QString runtimeDir;
        QString parent;
    } cases[] = {
        {runtime.path(), runtime.path()},
        {runtime.path() + "/gone", {}},
        {"relative/runtime", {}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        posix::Environment environment;
        environment.runtimeDir = c.runtimeDir.toStdString();
        EXPECT_EQ(DemoParent(environment), c.parent) << c.runtimeDir.toStdString();
    }
}

TEST(Demo, AMissingSimulatorIsReported) {
    DemoScale demo;
    QString error;
    EXPECT_FALSE(demo.Start(QStringLiteral("/nonexistent/karvel-scalesim"), &error));
    EXPECT_TRUE(error.contains("karvel-scalesim")) << error.toStdString();
}

TEST(Demo, ASimulatorThatFailsIsReportedWithWhatItSaid) {
    QTemporaryDir dir;
    const QString simulator = dir.filePath("failing-sim");
    QFile script(simulator);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho 'karvel-scalesim: cannot link COM5: no room' >&2\nexit 1\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    DemoScale demo;
    QString error;
    EXPECT_FALSE(demo.Start(simulator, &error));
    EXPECT_TRUE(error.contains("ended before it was ready")) << error.toStdString();
    EXPECT_TRUE(error.contains("cannot link COM5: no room")) << error.toStdString();
}

}  // namespace
}  // namespace apptest
