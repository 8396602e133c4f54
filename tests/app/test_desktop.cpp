// OVELA on a desktop with a notification server (dunst) and a tray (trayer) on a session bus of
// its own, as under-desktop.sh sets them up: a call announced by a notification and answered
// from it, a missed call and a quick message announced too; the tray icon's menu, its click, and
// the main window's close box leaving the program running.
#include "callrunner.h"
#include "freeport.h"
#include "platform/desktopnotifications.h"
#include "platform/linetransport.h"
#include "platform/soundplayer.h"
#include "program/program.h"
#include "program/ui/programwindows.h"
#include "shell/ui/mainwindow.h"
#include "shell/ui/trayicon.h"

#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

QString run(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

int displayed()
{
    return run(QStringLiteral("dunstctl"), {QStringLiteral("count"), QStringLiteral("displayed")})
        .toInt();
}

// What dunst keeps of the notifications that were closed: "summary | body" each.
QStringList history()
{
    const QJsonObject doc =
        QJsonDocument::fromJson(
            run(QStringLiteral("dunstctl"), {QStringLiteral("history")}).toUtf8())
            .object();
    QStringList seen;
    for (const QJsonValue &n : doc.value(QStringLiteral("data")).toArray().at(0).toArray()) {
        const QJsonObject o = n.toObject();
        seen << o.value(QStringLiteral("summary"))
                        .toObject()
                        .value(QStringLiteral("data"))
                        .toString() +
                    QStringLiteral(" | ") +
                    o.value(QStringLiteral("body"))
                        .toObject()
                        .value(QStringLiteral("data"))
                        .toString();
    }
    return seen;
}

bool underDesktop()
{
    return qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") &&
           !QStandardPaths::findExecutable(QStringLiteral("dunstctl")).isEmpty();
}

void startOvela(CallRunner::Program &p, const char *who, quint16 port, const QStringList &extra,
                const QString &script, const QByteArray &calling = {})
{
    const QByteArray ini = QByteArray("[Personal]\n") + who + "\n[Calling]\n" + calling;
    p.start(QStringLiteral(OVELA_BINARY), ini,
            QStringList{QStringLiteral("--base-port"), QString::number(port)} + extra,
            {{"OVELA_SCRIPT", script},
             {"OVELA_PAL_HOST", QStringLiteral("127.0.0.1:%1").arg(freeBasePort())},
             {"DBUS_SESSION_BUS_ADDRESS", qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS")}});
}

} // namespace

TEST(Notifications, ACallIsAnsweredFromItsNotificationAndMissedCallsAndMessagesAreAnnounced)
{
    if (!underDesktop()) GTEST_SKIP() << "needs under-desktop.sh (a session bus and dunst)";
    const quint16 ana = freeBasePort();
    CallRunner::Program callee;
    // Nobody at Ana's: a call that is not answered is declined after six seconds.
    startOvela(callee, "Name=Ana Lee\nEMail=ana@example.org\nLocation=Porto", ana, {}, {},
               "AutoDecTime=6\n");
    ASSERT_TRUE(CallRunner::listening(ana + 2, 10000, callee.process.processId()));
    const QString anaAddress = QStringLiteral("127.0.0.1:%1").arg(ana);

    // Phase 1: Bo calls; the notification's Accept (dunst's context menu picks it) answers, and
    // Bo, who hangs up a second into the call, ends by himself only when the call was accepted.
    CallRunner::Program bo;
    startOvela(bo, "Name=Bo Smith\nEMail=bo@example.org\nLocation=Oslo", freeBasePort(),
               {anaAddress}, QStringLiteral("hangup:1;quit:0.5"));
    ASSERT_TRUE(QTest::qWaitFor([] { return displayed() == 1; }, 10000))
        << "the incoming call's notification";
    run(QStringLiteral("dunstctl"), {QStringLiteral("action"), QStringLiteral("0")});
    ASSERT_TRUE(bo.finished(15000)) << "the call was not answered";
    EXPECT_TRUE(bo.read("ovela.log").contains("Call Accepted from Ana Lee, Porto"));
    ASSERT_TRUE(QTest::qWaitFor([] { return displayed() == 0; }, 5000))
        << "the answered call's notification goes";
    EXPECT_EQ(history(), QStringList{"Incoming call from Bo Smith | Oslo"});

    // Phase 2: Cy calls and nobody answers; Cy also leaves a quick message.
    CallRunner::Program cy;
    startOvela(cy, "Name=Cy Park\nEMail=cy@example.org\nLocation=Lima", freeBasePort(),
               {anaAddress}, QStringLiteral("send:1:1:127.0.0.1:%1:Call me back;exit:12").arg(ana));
    ASSERT_TRUE(cy.finished(30000));
    EXPECT_TRUE(cy.read("ovela.log").contains("declined the call"))
        << cy.read("ovela.log").toStdString();
    run(QStringLiteral("dunstctl"), {QStringLiteral("close-all")});
    const QStringList seen = history();
    EXPECT_TRUE(seen.contains("Incoming call from Cy Park | Lima"))
        << seen.join('\n').toStdString();
    EXPECT_TRUE(seen.contains("Quick message from Cy Park | Call me back"))
        << seen.join('\n').toStdString();
    EXPECT_EQ(seen.filter(QRegularExpression("^Missed call from Cy Park \\| Lima, at "
                                             "[0-2][0-9]:[0-5][0-9]$"))
                  .size(),
              1)
        << seen.join('\n').toStdString();
    callee.process.terminate();
    EXPECT_TRUE(callee.finished(10000));
}

TEST(Tray, ItsMenuWorksItsClickHidesTheWindowAndClosingKeepsTheProgram)
{
    if (!underDesktop()) GTEST_SKIP() << "needs under-desktop.sh (a session bus and a tray)";
    ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5000));
    QTemporaryDir folder;
    const QString old = QDir::currentPath();
    QDir::setCurrent(folder.path());
    WavePlayer sounds;
    TcpTransports network;
    ProgramWindows windows;
    ProgramConfig config;
    config.settingsPath = folder.filePath(QStringLiteral("ovela.ini"));
    config.basePort = freeBasePort();
    config.palHost = QStringLiteral("127.0.0.1");
    config.palPort = freeBasePort();
    {
        QFile ini(config.settingsPath);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Personal]\nName=Ana Lee\nEMail=ana@example.org\nLocation=Porto\n");
    }
    DesktopNotifications notifications;
    Program program(windows, sounds, network, config);
    windows.attach(program.windowModels());
    program.attachNotifications(notifications);
    windows.attachTray(program.trayStatus(), program.desktopOptions(),
                       [&program] { program.keptRunningInTray(); });
    TrayIcon *tray = windows.trayIcon();
    ASSERT_NE(tray, nullptr);
    program.startUp(windows, QString());
    MainWindow *main = windows.mainWindow();
    ASSERT_TRUE(QTest::qWaitFor([main] { return main->isVisible(); }, 10000)) << "after the splash";

    QStringList names;
    for (QAction *a : tray->menu()->actions())
        if (!a->isSeparator()) names << a->objectName();
    ASSERT_EQ(names,
              QStringList({"Tray_Call", "Tray_Directory", "Tray_DoNotDisturb", "Tray_Quit"}));
    const auto action = [tray](const char *name) {
        return tray->menu()->findChild<QAction *>(QLatin1String(name));
    };
    auto *dnd = main->findChild<QAction *>(QStringLiteral("Menu_FileDoNotDisturb"));
    action("Tray_DoNotDisturb")->trigger();
    EXPECT_TRUE(dnd->isChecked());
    EXPECT_TRUE(tray->icon()->toolTip().contains("Do Not Disturb"));
    action("Tray_DoNotDisturb")->trigger();
    EXPECT_FALSE(dnd->isChecked());
    for (const char *name : {"Tray_Call", "Tray_Directory"}) {
        QWidget *directory = nullptr;
        action(name)->trigger();
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == "frmDirectory" && w->isVisible()) directory = w;
        ASSERT_NE(directory, nullptr) << name;
        directory->hide();
    }

    // A left click on the icon in the tray hides the window, a second one shows it.
    ASSERT_TRUE(QTest::qWaitFor([tray] { return !tray->icon()->geometry().isEmpty(); }, 5000));
    const QPoint at = tray->icon()->geometry().center();
    for (const bool shown : {false, true}) {
        QTest::qWait(QApplication::doubleClickInterval() + 100); // two clicks, not a double one
        run(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
             QStringLiteral("click"), QStringLiteral("1")});
        EXPECT_TRUE(QTest::qWaitFor([&] { return main->isVisible() == shown; }, 5000)) << shown;
    }

    // The close box hides the window and the program goes on; the first time it says so.
    for (int i = 0; i < 2; ++i) {
        main->show();
        EXPECT_FALSE(main->close());
        EXPECT_FALSE(main->isVisible());
        QTest::qWait(200);
        EXPECT_FALSE(program.shutDownDone());
    }
    QFile kept(folder.filePath(QStringLiteral("desktop")));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << "the notice is remembered across runs";
    EXPECT_TRUE(kept.readAll().contains("TrayNoticeShown=1"));
    ASSERT_TRUE(QTest::qWaitFor([] { return displayed() >= 1; }, 5000));
    run(QStringLiteral("dunstctl"), {QStringLiteral("close-all")});
    EXPECT_EQ(history().filter("OVELA is still running").size(), 1);

    action("Tray_Quit")->trigger();
    EXPECT_TRUE(program.shutDownDone());
    windows.releaseWindows();
    QDir::setCurrent(old);
}
