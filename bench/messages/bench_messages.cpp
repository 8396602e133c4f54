// Quick messages and real-time chat between two programs on loopback TCP, in one process:
// a message with an 8,000-byte picture and 59 audio chunks from Send to the recipient's indicator
// (median and 99th percentile of 100, target under 50 ms); ten senders at once (all delivered);
// and a chat key from the press to the character shown on the other side (target under 5 ms
// median).
#include "calls/chatconversation.h"
#include "freeports.h"
#include "messaging/quickmessagesender.h"
#include "platform/linetransport.h"
#include "platform/soundplayer.h"
#include "platform/usermessages.h"
#include "program/program.h"
#include "program/programview.h"
#include "protocol/chatline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace
{
struct Quiet : UserMessages, SoundPlayer {
    void showInfoMessage(const QString &, std::function<void()> = {}) override {}
    void showErrorMessage(const QString &) override {}
    void messageBox(const QString &, const QString & = {}) override {}
    bool askYesNo(const QString &) override { return true; }
    void play(const QString &) override {}
};

struct NoWindows : ProgramView {
    void sizeMainWindow() override {}
    void showSplash() override {}
    void closeSplash() override {}
    void moveMainWindow(int, int) override {}
    void mainWindowPosition(int *, int *) const override {}
    void loadWindows() override {}
    void showStartupWindows(bool, bool, bool) override {}
    void showMainWindow() override {}
    void showOptions() override {}
    OpenWindows openWindows() const override { return {}; }
    void unloadWindows() override {}
};

struct Side {
    QTemporaryDir dir;
    Quiet quiet;
    NoWindows view;
    TcpTransports tcp;
    Program program;
    Side(quint16 base, const QByteArray &ini)
        : program(quiet, quiet, tcp, {dir.filePath("ovela.ini"), base, "127.0.0.1", 1})
    {
        QFile f(dir.filePath("ovela.ini"));
        if (f.open(QIODevice::WriteOnly)) f.write(ini);
        f.close();
        QDir::setCurrent(dir.path());
        program.startUp(view, QStringLiteral("no-splash.invalid"));
    }
};

bool runUntil(const std::function<bool()> &done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return done();
}

void report(const char *what, std::vector<double> ms, double target)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-58s median %6.2f ms, 99%% %6.2f ms (target: median < %.0f ms)\n", what,
                ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], target);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const quint16 anaPort = FreePorts::basePort(28000, 32000);
    const quint16 boPort = FreePorts::basePort(28000, 32000);
    Side ana(anaPort, "[Calling]\nAutoAccept=True\n[Personal]\nName=Ana\n");
    Side bo(boPort, "[Personal]\nName=Bo\nEMail=bo@x.org\n");

    // ---- a full message, 100 times
    QuickMessageSender::Outgoing full;
    full.body = {42, "Bo", "bo@x.org", "Oslo", "now", "A message with everything"};
    full.picture = QByteArray(8000, '\x55');
    full.sendPicture = true;
    for (int i = 0; i < 59; ++i)
        full.audio.append(QByteArray(331, char(i)));
    full.sendAudio = true;

    // The recipient's indicator: its message listener's slots, read through the main window.
    MainWindowModel &anaMain = ana.program.windowModels().main;
    std::vector<double> delivery;
    for (int run = 0; run < 100; ++run) {
        QuickMessageSender sender(bo.tcp, bo.quiet);
        bool lit = false;
        QMetaObject::Connection c = QObject::connect(
            &anaMain, &MainWindowModel::messageIndicatorChanged, [&](bool on) { lit = lit || on; });
        QElapsedTimer t;
        t.start();
        sender.send("127.0.0.1", anaPort, full);
        if (!runUntil([&] { return lit; })) {
            std::fprintf(stderr, "bench_messages: message %d not delivered\n", run);
            return 1;
        }
        delivery.push_back(t.nsecsElapsed() / 1e6);
        QObject::disconnect(c);
        anaMain.openNextMessage();
    }
    report("A message (picture, 59 chunks), Send to indicator:", delivery, 50);

    // ---- ten senders at once
    std::vector<std::unique_ptr<QuickMessageSender>> senders;
    for (int i = 0; i < 10; ++i) {
        senders.push_back(std::make_unique<QuickMessageSender>(bo.tcp, bo.quiet));
        senders.back()->send("127.0.0.1", anaPort, full);
    }
    int finished = 0;
    for (auto &s : senders)
        QObject::connect(s.get(), &QuickMessageSender::finished, [&] { ++finished; });
    runUntil([&] { return finished == 10; }, 10000);
    std::printf("Ten senders at once: %d of 10 delivered (target: all)\n", finished);

    // ---- real-time chat keys
    bo.program.windowModels().outgoing.callTyped(QStringLiteral("127.0.0.1:%1").arg(anaPort));
    ChatConversation &boChat = bo.program.windowModels().chat;
    ChatConversation &anaChat = ana.program.windowModels().chat;
    if (!runUntil([&] {
            return bo.program.mediaSession().inCall() && ana.program.mediaSession().inCall();
        })) {
        std::fprintf(stderr, "bench_messages: no call\n");
        return 1;
    }
    runUntil([] { return false; }, 300); // the capability records cross
    std::vector<double> keys;
    for (int i = 0; i < 200; ++i) {
        const qsizetype before = anaChat.incoming().size();
        QElapsedTimer t;
        t.start();
        boChat.keyTyped(U'a' + char32_t(i % 26), QString());
        if (!runUntil([&] { return anaChat.incoming().size() != before; })) {
            std::fprintf(stderr, "bench_messages: key %d not shown (real-time chat off?)\n", i);
            return 1;
        }
        keys.push_back(t.nsecsElapsed() / 1e6);
    }
    report("A chat key, pressed to shown on the other side:", keys, 5);
    return finished == 10 ? 0 : 1;
}
