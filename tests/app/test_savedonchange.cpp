// Nothing the user set is lost when the program dies: the real program, with its windows, makes
// one kind of change and is killed with SIGKILL right after it (or right after the half second a
// window's place waits); the files then hold the change, as the next start reads them.
#include "program/ui/programwindows.h"
#include "shell/ui/mainwindow.h"
#include "testsupport.h"
#include "widgets/twips.h"
#include "windowtest.h"

#include <QAction>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>

namespace
{

struct Change {
    const char *name;
    std::function<void(ProgramInternals &, ProgramWindows &)> make; // in the program
    int waitMs;                                                     // before the kill
    std::function<bool(const QDir &)> kept;                         // on the next start
};

Settings settingsIn(const QDir &dir)
{
    Settings s;
    loadSettings(dir.filePath("ovela.ini"), s);
    return s;
}

const QList<Change> &changes()
{
    static const QList<Change> all{
        {"the options dialog closed",
         [](ProgramInternals &, ProgramWindows &w) {
             w.showOptions();
             in<QLineEdit>("frmOptions", "txtName")->setText("Ana Able");
             in<QPushButton>("frmOptions", "cmdClose")->click();
         },
         0, [](const QDir &d) { return settingsIn(d).Name == "Ana Able"; }},
        {"the main window moved",
         [](ProgramInternals &, ProgramWindows &w) { w.mainWindow()->move(123, 87); },
         SettingsKeeper::PlacementDelayMs,
         [](const QDir &d) { return settingsIn(d).WinPosLeft == Twips::fromPixelsX(123); }},
        {"the directory window resized",
         [](ProgramInternals &, ProgramWindows &) {
             find("frmDirectory")->show();
             find("frmDirectory")->resize(700, 520);
         },
         SettingsKeeper::PlacementDelayMs,
         [](const QDir &d) { return settingsIn(d).DirWidth == Twips::fromPixelsX(700); }},
        {"the chat font made larger",
         [](ProgramInternals &, ProgramWindows &) {
             in<QPushButton>("frmNewChat", "cmdFontUp")->click();
         },
         0, [](const QDir &d) { return settingsIn(d).ChatFontSize == 10; }},
        {"the data rates window opened",
         [](ProgramInternals &, ProgramWindows &) { action("Menu_ViewRates")->trigger(); }, 0,
         [](const QDir &d) { return settingsIn(d).DataRatesOn; }},
        {"another directory chosen",
         [](ProgramInternals &p, ProgramWindows &) {
             p.directoryModel().chooseServer("dir.example.org:2710");
         },
         0, [](const QDir &d) { return settingsIn(d).DirAddress == "dir.example.org"; }},
        {"a pal added",
         [](ProgramInternals &p, ProgramWindows &) {
             p.presence().addPal("Bo Bright", "bo@example.org");
         },
         0,
         [](const QDir &d) {
             PalList pals;
             loadPalFile(pals, d.filePath(PalFileName));
             return pals.count() == 1;
         }},
        {"a refused sender forgiven",
         [](ProgramInternals &p, ProgramWindows &) { p.options().removeRefused(1); }, 0,
         [](const QDir &d) {
             RefuseList list;
             loadRefuseList(list, d.filePath(RefuseFileName));
             return list.count() == 0;
         }},
        {"the volume set",
         [](ProgramInternals &p, ProgramWindows &) { p.soundDevices().setVolume(37); }, 0,
         [](const QDir &d) {
             QFile f(d.filePath("sound"));
             return f.open(QIODevice::ReadOnly) && f.readAll().contains("=37");
         }},
    };
    return all;
}

} // namespace

// The program side: started as a user starts it, one change, then idle until killed.
TEST(SavedWhenChanged, DISABLED_ProgramMakingOneChange)
{
    const QDir dir(qEnvironmentVariable("OVELA_TEST_FOLDER"));
    const Change &change = changes().at(qEnvironmentVariableIntValue("OVELA_TEST_CHANGE"));
    QDir::setCurrent(dir.path());
    RecordingSounds sounds;
    ProgramWindows windows;
    TcpTransports tcp;
    Program program{windows,
                    sounds,
                    tcp,
                    {dir.filePath("ovela.ini"), freeBasePort(), "127.0.0.1", freeBasePort()}};
    ProgramInternals p{program};
    windows.attach(program.windowModels());
    program.startUp(windows, QStringLiteral("skip-splash.invalid"));
    p.media().setStartupCall({});
    QTest::qWait(300);
    change.make(p, windows);
    std::printf("changed\n");
    std::fflush(stdout);
    // An event loop that waits for events, as the program's own does (QTest::qWait never does).
    QEventLoop idle;
    QTimer::singleShot(60000, &idle, &QEventLoop::quit);
    idle.exec();
}

TEST(SavedWhenChanged, EveryKindOfChangeOutlivesAKill)
{
    for (int i = 0; i < changes().size(); ++i) {
        const Change &change = changes()[i];
        SCOPED_TRACE(change.name);
        QTemporaryDir folder;
        const QDir dir(folder.path());
        auto write = [&](const char *name, const QByteArray &bytes) {
            QFile f(dir.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        write("ovela.ini", "[Personal]\nName=Ana\nEMail=ana@example.org\nLocation=Porto\n"
                           "[Windows]\nSaveWinPos=True\n");
        write("refuse.dat", " 17 \nSpam\nspam@example.org\n");

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("OVELA_TEST_FOLDER", dir.path());
        env.insert("OVELA_TEST_CHANGE", QString::number(i));
        env.insert("XDG_CONFIG_HOME", dir.path());
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QCoreApplication::applicationFilePath(),
                      {"--gtest_also_run_disabled_tests",
                       "--gtest_filter=SavedWhenChanged.DISABLED_ProgramMakingOneChange"});
        QByteArray said;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                program.waitForReadyRead(50);
                said += program.readAllStandardOutput();
                return said.contains("changed\n");
            },
            30000));
        QTest::qWait(change.waitMs + 200);
        ::kill(pid_t(program.processId()), SIGKILL);
        ASSERT_TRUE(program.waitForFinished(5000));
        EXPECT_TRUE(change.kept(dir));
    }
}
