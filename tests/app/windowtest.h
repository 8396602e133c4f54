// The window tests' fixture: a program with its real windows, offscreen, on free ports, with
// scripted sound devices; and helpers that find windows and controls by name.
#pragma once

#include "program/ui/programwindows.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace windowtest
{

template <typename T = QWidget> T *find(const char *name)
{
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QLatin1String(name))
            if (auto *w = qobject_cast<T *>(top)) return w;
        if (auto *w = top->findChild<T *>(QLatin1String(name))) return w;
    }
    return nullptr;
}

// A control of one window.
template <typename T = QWidget> T *in(const char *window, const char *name)
{
    QWidget *top = find(window);
    return top ? top->findChild<T *>(QLatin1String(name)) : nullptr;
}

inline QString text(const char *name, const char *window = nullptr)
{
    auto *label = window ? in<QLabel>(window, name) : find<QLabel>(name);
    return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

inline QAction *action(const char *name)
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *a = top->findChild<QAction *>(QLatin1String(name))) return a;
    return nullptr;
}

// Answers the next modal message box with `button`, returning its text through `seen`.
inline void answerNextBox(QMessageBox::StandardButton button, QString *seen)
{
    QTimer::singleShot(50, [button, seen] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            *seen = box->text();
            box->button(button)->click();
        }
    });
}

class WindowTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // Scripted sound devices, so the Talk button has a microphone on any machine.
        static QTemporaryDir dir;
        writeSilentWav(dir.filePath("mic.wav"));
        qputenv("OVELA_MIC", ("wav:" + dir.filePath("mic.wav")).toUtf8());
        qputenv("OVELA_SPEAKER", ("wav:" + dir.filePath("speaker.wav")).toUtf8());
    }

    void SetUp() override
    {
        windows.attach(program.windowModels());
        program.startUp(windows, QStringLiteral("skip-splash.invalid"));
        p.media().setStartupCall({}); // the address only served to skip the splash
        p.incoming().AutoAcceptOnce = false;
        p.settings().Name = "Cleo";
        p.settings().EMail = "cleo@example.org";
        p.settings().Location = "Lisbon";
    }
    void TearDown() override
    {
        program.shutDown();
        windows.releaseWindows();
    }

    ScratchFolder folder;
    RecordingSounds sounds;
    ProgramWindows windows;
    TcpTransports tcp;
    const quint16 base = freeBasePort();
    Program program{windows,
                    sounds,
                    tcp,
                    {folder.file("ovela.ini"), base, QStringLiteral("127.0.0.1"), freeBasePort()}};
    ProgramInternals p{program};
};

} // namespace windowtest

using namespace windowtest;
