// A program against what the network can do to it: a name server that takes its time, and
// floods on every listener (idle connections past the limit, a line that never ends, connections
// opened and closed as fast as they go), after which real callers and messages are served.
// The figures of the same floods at full size, during a real call, come from bench_floods.
#include "messaging/quickmessagesender.h"
#include "platform/netaddress.h"
#include "testsupport.h"

#include <QSemaphore>
#include <gtest/gtest.h>

#include <atomic>

namespace
{

// A name server that answers only when the test lets it: "slow.example" is this machine.
struct SlowNameServer {
    QSemaphore answers;
    std::atomic<int> asked{0};
    SlowNameServer()
    {
        NetAddress::setResolver([this](const QString &name) {
            ++asked;
            answers.tryAcquire(1, 30000);
            return name == QLatin1String("slow.example")
                       ? QList<QHostAddress>{QHostAddress::LocalHost}
                       : QList<QHostAddress>{};
        });
    }
    ~SlowNameServer()
    {
        answers.release(100);
        NetAddress::setResolver({});
    }
};

} // namespace

TEST(SlowNameServer, CallsTheDirectoryAndMessagesGoOnWithoutWaitingForIt)
{
    SlowNameServer names;
    TestProgram callee, caller;
    callee.start();
    caller.start();
    callee->settings().AutoAccept = true;
    const quint16 directoryPort = freeBasePort();
    RawListener directory(directoryPort);
    QuickMessageSender sender(caller.tcp, caller.messages);
    QuickMessageSender::Outgoing message;
    message.body = {7, "Ann", "ann@example.org", "Porto", "9:05", "Hello"};

    struct Case {
        const char *what;
        std::function<void()> start;
        std::function<bool()> done;
    };
    const Case cases[] = {
        {"a call",
         [&] {
             caller->outgoing().callTyped(QStringLiteral("slow.example:%1").arg(callee.port()));
         },
         [&] { return caller->media().inCall() && callee->media().inCall(); }},
        {"the directory",
         [&] { caller->directory().connectDirectory("slow.example", qint16(directoryPort)); },
         [&] { return caller->directory().connected(); }},
        {"a quick message", [&] { sender.send("slow.example", callee.port(), message); },
         [&] { return callee->quickMessages().waitingCount() == 1; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const int before = names.asked;
        c.start(); // returns while the name server has not answered yet
        ASSERT_TRUE(waitUntil([&] { return names.asked > before; }));
        EXPECT_FALSE(c.done());
        names.answers.release();
        ASSERT_TRUE(waitUntil(c.done));
    }
}
