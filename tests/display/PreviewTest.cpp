#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "tests/display/LumeqHost.h"
#include "tools/preview/PreviewOptions.h"

namespace lumeq_test {
namespace {

using lumeq_preview::ParseCNumber;
using lumeq_preview::ParsePreviewOptions;
using lumeq_preview::PreviewOptions;

TEST(LumeqPreviewOptionsTest, NumbersInCNotation) {
    const struct {
        const char* text;
        std::uint32_t max;
        std::optional<std::uint32_t> value;
    } cases[] = {
        // clang-format off
        {"63", 255, 63}, {"0x3f", 255, 63}, {"0X3F", 255, 63}, {"077", 255, 63}, {"0", 255, 0},
        {"255", 255, 255}, {"256", 255, {}}, {"0x100", 255, {}}, {"-1", 255, {}}, {"+1", 255, {}},
        {"", 255, {}}, {"0x", 255, {}}, {"08", 255, {}}, {"12abc", 255, {}}, {" 1", 255, {}},
        {"0xFFFFFFFF", 0xFFFFFFFF, 0xFFFFFFFF}, {"0x100000000", 0xFFFFFFFF, {}},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseCNumber(c.text, c.max), c.value) << '"' << c.text << '"';
}

TEST(LumeqPreviewOptionsTest, ValuesLandInTheirSlotsAndOmittedOnesStayUnset) {
    const std::vector<std::string> args = {"--wm",   "1",      "--hex6=0xff", "--unit",
                                           "010",    "--back", "0x0000FF00",  "--size",
                                           "200x50", "-o",     "out.png"};
    PreviewOptions o;
    std::string error;
    ASSERT_TRUE(ParsePreviewOptions(args, &o, &error)) << error;
    EXPECT_EQ(o.slotValues[0], 1);
    EXPECT_FALSE(o.slotValues[1].has_value());
    EXPECT_EQ(o.slotValues[2], 8);
    EXPECT_EQ(o.slotValues[8], 0xFF);
    EXPECT_EQ(o.backColor, 0x0000FF00u);
    EXPECT_FALSE(o.foreColor1.has_value());
    EXPECT_EQ(o.width, 200);
    EXPECT_EQ(o.height, 50);
    EXPECT_EQ(o.output, "out.png");
}

TEST(LumeqPreviewOptionsTest, BadCommandLinesNameTheirProblem) {
    const struct {
        std::vector<std::string> args;
        const char* mentions;
    } cases[] = {
        {{"--hex1", "300", "-o", "a.png"}, "--hex1"},
        {{"--sign", "x", "-o", "a.png"}, "--sign"},
        {{"--back", "-1", "-o", "a.png"}, "--back"},
        {{"--size", "0x10", "-o", "a.png"}, "--size"},
        {{"--size", "359", "-o", "a.png"}, "--size"},
        {{"--scale", "0", "-o", "a.png"}, "--scale"},
        {{"--scale", "2e0", "-o", "a.png"}, "--scale"},
        {{"--scale", "9", "-o", "a.png"}, "--scale"},
        {{"--wm"}, "--wm"},
        {{"--hex7", "1", "-o", "a.png"}, "--hex7"},
        {{"stray", "-o", "a.png"}, "stray"},
        {{"--wm", "1"}, "-o"},
        {{"-o", ""}, "-o"},
    };
    for (const auto& c : cases) {
        PreviewOptions o;
        std::string error;
        EXPECT_FALSE(ParsePreviewOptions(c.args, &o, &error)) << c.mentions;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    }
}

struct ToolRun {
    int exitCode;
    QString out;
    QString err;
};

ToolRun Preview(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(LUMEQ_PREVIEW), args);
    EXPECT_TRUE(process.waitForFinished(60000)) << "lumeq-preview did not finish";
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(LumeqPreviewToolTest, WritesThePictureTheControlDraws) {
    QTemporaryDir dir;
    const QString file = dir.filePath("display.png");
    const ToolRun run =
        Preview({"--wm",    "0",      "--sign",  "0x3",        "--unit", "1",      "--hex1",
                 "0",       "--hex3", "0x06",    "--hex4",     "0x5b",   "--back", "0x0000FF00",
                 "--fore1", "0",      "--fore2", "0x000000FF", "-o",     file});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QImage written(file);
    ASSERT_FALSE(written.isNull());
    const QImage expected = PictureOf([](component::Dispatch& c) {
        Call(c, 1, {Variant::I2(0)});
        Call(c, 2, {Variant::I2(3)});
        Call(c, 3, {Variant::I2(1)});
        Call(c, 4, {Variant::I2(0)});
        Call(c, 6, {Variant::I2(0x06)});
        Call(c, 7, {Variant::I2(0x5b)});
        Call(c, 11, {Variant::I4(0x0000FF00)});
        Call(c, 12, {Variant::I4(0)});
    });
    EXPECT_TRUE(SamePicture(written.convertToFormat(QImage::Format_RGB32), expected));
}

TEST(LumeqPreviewToolTest, SizeOption) {
    QTemporaryDir dir;
    const ToolRun sized = Preview({"--size", "120x40", "-o", dir.filePath("b.png")});
    ASSERT_EQ(sized.exitCode, 0) << sized.err.toStdString();
    EXPECT_EQ(QImage(dir.filePath("b.png")).size(), QSize(120, 40));
    // At a ratio the picture has that many times the pixels, drawn by the control at that
    // resolution.
    const ToolRun scaled = Preview({"--scale", "1.5", "-o", dir.filePath("s.png")});
    ASSERT_EQ(scaled.exitCode, 0) << scaled.err.toStdString();
    EXPECT_EQ(QImage(dir.filePath("s.png")).size(), QSize(539, 152));
}

TEST(LumeqPreviewToolTest, BadValueExitsWithUsageStatusAndWritesNothing) {
    QTemporaryDir dir;
    const ToolRun run = Preview({"--hex2", "0x1FF", "-o", dir.filePath("c.png")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("--hex2")) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("c.png")));
}

TEST(LumeqPreviewToolTest, UnwritableOutputIsAFailureNotSuccess) {
    QTemporaryDir dir;
    // A folder that is not there, and a device that takes nothing.
    for (const QString& path : {dir.filePath("missing/dir/d.png"), QStringLiteral("/dev/full")}) {
        const ToolRun run = Preview({"-o", path});
        EXPECT_EQ(run.exitCode, 1) << path.toStdString();
        EXPECT_TRUE(run.err.contains("cannot write " + path)) << run.err.toStdString();
    }
}

// The README's lumeq-preview examples, run as written, draw the pictures shown beside them.
TEST(LumeqPreviewToolTest, TheReadmeExamplesDrawTheCommittedPictures) {
    QFile readme(QStringLiteral(KARVEL_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(readme.readAll());
    // Commands in order, continuation lines joined, comments dropped.
    QStringList commands;
    const QString joined = QString(text).replace(QStringLiteral("\\\n"), QStringLiteral(" "));
    for (const QString& line : joined.split('\n')) {
        if (line.startsWith(QLatin1String("build/release/bin/lumeq-preview ")))
            commands << line.section('#', 0, 0);
    }
    // The pictures of the control, in order.
    QStringList pictures;
    static const QRegularExpression image(QStringLiteral(R"(\]\((docs/display[^)]*\.png)\))"));
    for (auto it = image.globalMatch(text); it.hasNext();)
        pictures << it.next().captured(1);
    ASSERT_FALSE(commands.isEmpty());
    ASSERT_EQ(commands.size(), pictures.size());

    QTemporaryDir dir;
    for (qsizetype i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(commands[i].toStdString());
        QStringList args = commands[i].split(' ', Qt::SkipEmptyParts);
        args.removeFirst();
        const qsizetype o = args.indexOf(QStringLiteral("-o"));
        ASSERT_TRUE(o >= 0 && o + 1 < args.size());
        args[o + 1] = dir.filePath(args[o + 1]);
        const ToolRun run = Preview(args);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QImage drawn = QImage(args[o + 1]).convertToFormat(QImage::Format_RGB32);
        const QImage committed = QImage(QStringLiteral(KARVEL_SOURCE_DIR "/") + pictures[i])
                                     .convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(committed.isNull()) << pictures[i].toStdString();
        EXPECT_TRUE(drawn == committed) << pictures[i].toStdString();
    }
}

TEST(LumeqPreviewToolTest, VersionPrintsTheLibrarysVersionData) {
    const ToolRun run = Preview({"--version"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("file version 1.0.0.1")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("ProductName: Lumeq ActiveX Control Module"));
}

}  // namespace
}  // namespace lumeq_test
