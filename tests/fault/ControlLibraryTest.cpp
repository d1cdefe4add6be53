// The display control's library cannot serve: Karvel says which class it could not create and
// why, and ends before it touches a port.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "app/CLumeq.h"
#include "platform/serial/PseudoTerminal.h"
#include "tests/fault/KarvelProcess.h"
#include "tools/peers/PortDirectory.h"
#include "tools/peers/RandomBytes.h"
#include "tools/peers/TestFiles.h"

namespace faulttest {
namespace {

using namespace std::chrono_literals;
using testing_support::RandomBytes;
using testing_support::TempDir;
using testing_support::WriteFile;
namespace fs = std::filesystem;

const QString kClassId = QString::fromStdString(CLumeq::kClassId.ToString());

struct LibraryCase {
    const char* name;
    std::string library;  // what the manifest names
    const char* because;
};

// Runs Karvel against a manifest that names `library` for the display, with a scale on COM1
// that would see a probe byte.
void ExpectKarvelExplains(const std::vector<LibraryCase>& cases, const TempDir& dir,
                          bool asNobody) {
    testing_support::PortDirectory ports;
    auto scale = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(scale);
    ports.Map(1, scale->DevicePath());

    std::vector<QProcessEnvironment> environments;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string manifest = dir / ("case" + std::to_string(i) + ".manifest");
        WriteFile(manifest, "# The display's library.\nclass " + CLumeq::kClassId.ToString() + " " +
                                cases[i].library + "\n");
        QProcessEnvironment env = OffscreenEnvironment();
        env.insert("KARVEL_PORT_DIR", QString::fromStdString(ports.Path()));
        env.insert("KARVEL_COMPONENT_MANIFEST", QString::fromStdString(manifest));
        env.insert("KARVEL_COMPONENT_STORE", QString::fromStdString(dir / "no.store"));
        environments.push_back(env);
    }
    const std::vector<KarvelOutcome> outcomes = RunKarvelEach(environments, asNobody);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const KarvelOutcome& run = outcomes[i];
        ASSERT_TRUE(run.ended);
        EXPECT_FALSE(run.crashed) << run.err.toStdString();
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(kClassId)) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromStdString(cases[i].library)))
            << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(cases[i].because)) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("No serial port was opened")) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains("Sanitizer")) << run.err.toStdString();
    }
    // Every run has ended: a probe byte would be waiting here by now.
    EXPECT_TRUE(scale->Read(0ms).empty());
}

TEST(ControlLibrary, MissingDamagedOrLackingItsExportsIsExplainedAndNoPortIsTouched) {
    TempDir dir;
    const std::string noExport = FAKE_LIBRARY_NOEXPORT;
    const std::string image = testing_support::ReadFile(noExport);
    ASSERT_GT(image.size(), 1000u);
    WriteFile(dir / "garbage.so", RandomBytes(8192, 7));
    WriteFile(dir / "half.so", image.substr(0, image.size() / 2));
    WriteFile(dir / "empty.so", "");
    fs::create_directories(dir.Path() / "folder.so");

    const std::vector<LibraryCase> cases = {
        {"missing", dir / "libLumeq.so", "cannot be found: No such file or directory"},
        {"random bytes", dir / "garbage.so", "cannot be loaded"},
        {"cut off half way", dir / "half.so", "cannot be loaded: the file is cut off"},
        {"empty", dir / "empty.so", "cannot be loaded"},
        {"a directory", dir / "folder.so", "cannot be loaded"},
        {"without the class-object export", noExport, "does not export DllGetClassObject"},
    };
    ExpectKarvelExplains(cases, dir, false);
}

TEST(ControlLibrary, AnUnreadableLibraryIsExplained) {
    TempDir dir;
    WriteFile(dir / "locked.so", testing_support::ReadFile(FAKE_LIBRARY_NOEXPORT));
    ASSERT_EQ(::chmod((dir / "locked.so").c_str(), 0), 0);
    // Root reads every file: the user who may not is nobody.
    const bool asNobody = ::geteuid() == 0;
    if (asNobody) {
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    }
    ExpectKarvelExplains({{"unreadable", dir / "locked.so", "Permission denied"}}, dir, asNobody);
}

}  // namespace
}  // namespace faulttest
