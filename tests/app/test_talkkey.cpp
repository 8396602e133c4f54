// The push-to-talk key from any window, on a real X server under a window manager
// (under-desktop.sh): chosen in the options, grabbed from the X server, and pressed with xdotool
// while another window has the focus.
#include "calls/mediasession.h"
#include "media/audiopath.h"
#include "shell/mainwindowmodel.h"
#include "shell/talkkey.h"
#include "shell/ui/optionsdialog.h"
#include "shell/ui/talkkeygrab.h"
#include "windowtest.h"

#include <QGuiApplication>
#include <QKeySequenceEdit>
#include <QProcess>
#include <QStandardPaths>

namespace
{
// What xdotool printed.
QString xdotool(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), arguments);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}
} // namespace

TEST_F(WindowTest, TalkKeyRecordsForAsLongAsItIsHeldWhileAnotherWindowHasTheFocus)
{
    if (QGuiApplication::platformName() != "xcb" ||
        QStandardPaths::findExecutable(QStringLiteral("xmessage")).isEmpty())
        GTEST_SKIP() << "needs an X server, xdotool and xmessage (under-desktop.sh)";
    TalkKeyGrab grab(program.talkKey(), QGuiApplication::platformName());
    QElapsedTimer clock;
    clock.start();
    QList<QPair<bool, qint64>> microphone; // on or off, and when
    QObject::connect(&p.media().audio(), &AudioPath::microphoneChanged, [&](bool on) {
        microphone.append({on, clock.elapsed()});
    });
    // Another program's window has the focus: the keys go to it unless OVELA grabs them.
    QProcess other;
    other.start(QStringLiteral("xmessage"),
                {QStringLiteral("-name"), QStringLiteral("anotherprogram"),
                 QStringLiteral("Another program")});
    const QString window = xdotool({QStringLiteral("search"), QStringLiteral("--sync"),
                                    QStringLiteral("--onlyvisible"), QStringLiteral("--classname"),
                                    QStringLiteral("anotherprogram")});
    ASSERT_FALSE(window.isEmpty());
    const auto focusOther = [&window] {
        xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
        return xdotool({QStringLiteral("getactivewindow")}) == window;
    };
    ASSERT_TRUE(focusOther());
    const auto hold = [](int ms) {
        xdotool({QStringLiteral("keydown"), QStringLiteral("F9")});
        QTest::qWait(ms);
        xdotool({QStringLiteral("keyup"), QStringLiteral("F9")});
    };

    // Phase 1: no key is chosen, and F9 does nothing.
    hold(300);
    QTest::qWait(300);
    EXPECT_TRUE(microphone.isEmpty());

    // Phase 2: F9 chosen in the options (kept in the desktop options file, not a line in the
    // settings); this desktop grabs it, so no line says it would work in OVELA's windows only.
    action("Menu_ViewOptions")->trigger();
    EXPECT_EQ(in<QLabel>("frmOptions", "lblTalkKeyNote"), nullptr);
    in<QKeySequenceEdit>("frmOptions", "kseTalkKey")->setKeySequence(QKeySequence(Qt::Key_F9));
    in<QPushButton>("frmOptions", "cmdClose")->click();
    ASSERT_TRUE(grab.grabbed());
    QFile kept(folder.file("desktop"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_TRUE(kept.readAll().contains("TalkKey=F9\r\n"));
    ASSERT_TRUE(focusOther());

    // Held for a second (long enough for X's auto-repeat): the microphone records as long.
    const qint64 down = clock.elapsed();
    hold(1000);
    const qint64 held = clock.elapsed() - down;
    ASSERT_TRUE(QTest::qWaitFor([&] { return microphone.size() >= 2; }, 2000));
    ASSERT_EQ(microphone.size(), 2);
    EXPECT_TRUE(microphone[0].first);
    EXPECT_FALSE(microphone[1].first);
    const qint64 recorded = microphone[1].second - microphone[0].second;
    EXPECT_NEAR(recorded, held, 200);
    EXPECT_NEAR(microphone[0].second, down, 200);
    std::printf("held %lld ms, recorded %lld ms\n", qlonglong(held), qlonglong(recorded));

    // With Caps Lock on the key is the same key.
    microphone.clear();
    xdotool({QStringLiteral("key"), QStringLiteral("Caps_Lock")});
    hold(500);
    xdotool({QStringLiteral("key"), QStringLiteral("Caps_Lock")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return microphone.size() == 2; }, 2000));

    // Phase 3: a tap latches talking on, as the Talk button's right click does; the next press
    // turns it off.
    microphone.clear();
    xdotool({QStringLiteral("key"), QStringLiteral("F9")});
    QTest::qWait(600);
    EXPECT_TRUE(p.mainWindow().talking());
    EXPECT_EQ(microphone.size(), 1);
    xdotool({QStringLiteral("key"), QStringLiteral("F9")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !p.mainWindow().talking(); }, 2000));
    QTest::qWait(300);
    EXPECT_EQ(microphone.size(), 2) << "the release of the press that ended it does nothing";

    // Phase 4: a desktop without a grab (Wayland) whose session bus has no desktop portal (the
    // bus of its own that under-desktop.sh starts): the options say in one line that the key
    // works only in OVELA's windows.
    TalkKeyGrab focusOnly(program.talkKey(), QStringLiteral("wayland"));
    OptionsDialog dialog(p.options());
    auto *note = dialog.findChild<QLabel *>(QStringLiteral("lblTalkKeyNote"));
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->text().contains("does not offer global shortcuts"));
    other.kill();
    other.waitForFinished();
}
