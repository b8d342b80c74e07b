// The tavrix program itself, started as a launcher or a shell would.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <string>

#include "tests/temp_dir.h"
#include "util/version.h"

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Runs tavrix to its end without any display: none is needed to answer.
Outcome runWithoutDisplay(const QStringList& args) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(QString::fromLatin1(name));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(TAVRIX_PROGRAM), args);
    Outcome run;
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished();
        return run;
    }
    run.status = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    run.out = program.readAllStandardOutput().toStdString();
    run.err = program.readAllStandardError().toStdString();
    return run;
}

TEST(Program, HelpAndVersionNeedNoDisplay) {
    const Outcome version = runWithoutDisplay({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("tavrix ") + kTavrixVersion + "\n");
    EXPECT_EQ(version.err, "");

    const Outcome help = runWithoutDisplay({QStringLiteral("somefile"), QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: tavrix [FILE]\n", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
}

TEST(Program, AnUnknownOptionIsAOneLineUsageErrorWithStatusTwo) {
    const Outcome run = runWithoutDisplay({QStringLiteral("--frobnicate")});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "tavrix: unknown option '--frobnicate' (try 'tavrix --help')\n");
}

// With a display and a file, the window opens and stays open: the file is
// no option and no reason to stop.
TEST(Program, AFileOpensTheWindow) {
    TempDir dir;
    const std::string path = dir.file("開く.bin");
    write_file(path, std::string(42, 'x'));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(TAVRIX_PROGRAM), {QString::fromStdString(path), QStringLiteral("second.bin")});
    ASSERT_TRUE(program.waitForStarted(30000));
    EXPECT_FALSE(program.waitForFinished(1500)) << program.readAllStandardError().toStdString();
    program.kill();
    program.waitForFinished();
}

}  // namespace
