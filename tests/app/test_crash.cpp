// The real program killed with SIGKILL at random moments, two hundred times, while it writes its
// files: the settings, pal list, refuse list and log as it shuts down, the unopened quick messages
// as one arrives, the user ID as the pal server hands one out, the log all along. After each kill
// every file is the old one or a new one, whole, and the program starts again with all of them.
#include "freeport.h"
#include "messaging/messagestore.h"
#include "userdata/activitylog.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace
{

// Whether a port of this machine is listening, from /proc/net/tcp.
bool listening(quint16 port)
{
    QFile f(QStringLiteral("/proc/net/tcp"));
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QString hex = QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    for (const QByteArray &raw : f.readAll().split('\n')) {
        const QStringList cols = QString::fromLatin1(raw).simplified().split(' ');
        if (cols.size() > 3 && cols[1].endsWith(hex) && cols[3] == QLatin1String("0A")) return true;
    }
    return false;
}

// A pal server that hands out a new ID to whoever asks.
struct PalServer {
    QTcpServer server;
    int handedOut = 0;
    PalServer()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            QTcpSocket *s = server.nextPendingConnection();
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                if (!s->readAll().contains("RSN;")) return;
                s->write("NSN;" + QByteArray::number(++handedOut) + ";<ET>");
                s->flush();
            });
        });
    }
};

class Folder
{
public:
    Folder()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("cfg/ovela"));
        write("cfg/ovela/ovela.ini", "[Personal]\nName=Ana\n");
        write("ovela.pal", "Bo\nbo@example.org\nCy\ncy@example.org\n");
        write("refuse.dat", " 17 \nSpam\nspam@example.org\n");
        write("ovela.log", "1/1/26 09:00:00: from before\r\n");
    }
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }
    QByteArray read(const char *name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const char *name, const QByteArray &bytes) const
    {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }

private:
    QTemporaryDir m_dir;
};

struct Program {
    QProcess process;
    void start(const Folder &folder, quint16 base, quint16 palPort)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.path("cfg"));
        env.insert(QStringLiteral("OVELA_PAL_HOST"), QStringLiteral("127.0.0.1:%1").arg(palPort));
        env.insert(QStringLiteral("OVELA_SPEAKER"), QStringLiteral("none"));
        env.insert(QStringLiteral("OVELA_MIC"), QStringLiteral("none"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(folder.path("."));
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(OVELA_BINARY), {"--base-port", QString::number(base)});
    }
    void kill()
    {
        ::kill(pid_t(process.processId()), SIGKILL);
        process.waitForFinished(10000);
    }
    ~Program()
    {
        if (process.state() != QProcess::NotRunning) kill();
    }
};

// A quick message to the program, up to its last line; false when the program did not answer.
bool sendMessage(quint16 port, QTcpSocket &c)
{
    c.connectToHost(QStringLiteral("127.0.0.1"), port);
    auto waitFor = [&](const char *answer) {
        return QTest::qWaitFor([&] { return c.peek(64).contains(answer); }, 5000) &&
               c.readAll().size() > 0;
    };
    if (!c.waitForConnected(5000)) return false;
    c.write("MSR;7;<E>");
    if (!waitFor("MRA;<E>")) return false;
    c.write("MSB;7;Ann;ann@example.org;Porto;9:05;Kept through a kill;<E>");
    if (!waitFor("MRN;<E>")) return false;
    c.write("MSE;<E>");
    c.flush();
    return true;
}

// What the files may hold after a kill: the last version or a whole new one.
void checkFiles(const Folder &folder, const QByteArray &oldLog, int oldMessages, bool *messageKept)
{
    const QByteArray ini = folder.read("cfg/ovela/ovela.ini");
    EXPECT_TRUE(ini == "[Personal]\nName=Ana\n" ||
                (ini.contains("\nChatFontSize= 9\n") && ini.endsWith("\n")))
        << ini.toStdString();
    const QByteArray pals = folder.read("ovela.pal");
    EXPECT_TRUE(pals == "Bo\nbo@example.org\nCy\ncy@example.org\n" ||
                pals == "Bo\r\nbo@example.org\r\nCy\r\ncy@example.org\r\n")
        << pals.toStdString();
    const QByteArray refused = folder.read("refuse.dat");
    EXPECT_TRUE(refused == " 17 \nSpam\nspam@example.org\n" ||
                refused == " 17 \r\nSpam\r\nspam@example.org\r\n")
        << refused.toStdString();

    // The log keeps every line it had, and each line is a whole entry.
    const QByteArray log = folder.read("ovela.log");
    EXPECT_TRUE(log.startsWith(oldLog)) << "no entry is lost";
    for (const QByteArray &line : log.split('\n')) {
        if (line.isEmpty()) continue;
        EXPECT_TRUE(line.endsWith(": from before\r") || line.endsWith(": OVELA Power Up\r") ||
                    line.endsWith(": OVELA Power Down\r") ||
                    (line.contains(": Made this program's call key (") && line.endsWith(").\r")))
            << line.toStdString();
    }

    QList<ReceivedMessage> messages;
    const QByteArray unopened = folder.read("ovela.msg");
    EXPECT_TRUE(unopened.isEmpty() || MessageStore::decode(unopened, &messages));
    EXPECT_TRUE(messages.size() == oldMessages || messages.size() == oldMessages + 1);
    *messageKept = messages.size() > oldMessages;

    const QByteArray id = folder.read("cfg/ovela/userid");
    EXPECT_TRUE(id.isEmpty() || QRegularExpression("^[0-9]+\r\n$").match(id).hasMatch())
        << id.toStdString();
    EXPECT_FALSE(QFile::exists(folder.path("ovela.msg.damaged")));
    EXPECT_FALSE(QFile::exists(folder.path("cfg/ovela/userid.damaged")));
}

} // namespace

TEST(KilledWhileWriting, EveryFileIsTheOldOrTheNewOneWholeAndTheProgramStarts)
{
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    QRandomGenerator random(seed);
    Folder folder;
    PalServer pal;
    const quint16 base = freeBasePort();
    int messages = 0, messagesKept = 0, ids = 0;

    // The moment of the kill: anywhere in the next `ms` milliseconds. A kill at a random moment,
    // not a wait for anything.
    auto killWithin = [&](Program &program, int ms) {
        ::usleep(useconds_t(random.bounded(ms * 1000)));
        program.kill();
    };
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const QByteArray oldLog = folder.read("ovela.log");
        const int kind = round % 10;
        if (kind == 0) QFile::remove(folder.path("cfg/ovela/userid")); // the program asks again
        if (messages >= 8) { // room for more in the program's ten slots
            QFile::remove(folder.path("ovela.msg"));
            messages = 0;
        }
        Program program;
        program.start(folder, base, pal.server.serverPort());
        ASSERT_TRUE(QTest::qWaitFor([&] { return listening(base + 3); }, 20000))
            << "the program starts with the files its last run left";

        if (kind == 0) {
            // The pal server's new ID, about a second after start-up.
            const int before = pal.handedOut;
            ASSERT_TRUE(QTest::qWaitFor([&] { return pal.handedOut > before; }, 10000));
            killWithin(program, 3);
            ++ids;
        } else if (kind <= 3) {
            // A quick message, killed as it is being kept.
            QTcpSocket sender;
            ASSERT_TRUE(sendMessage(base + 2, sender));
            killWithin(program, 4);
        } else {
            // Shutdown, which writes the settings, both lists and the log.
            ::kill(pid_t(program.process.processId()), SIGTERM);
            killWithin(program, 12);
        }
        bool kept = false;
        checkFiles(folder, oldLog, messages, &kept);
        messages += kept ? 1 : 0;
        messagesKept += kept ? 1 : 0;
        if (HasFailure()) return;
    }
    EXPECT_GT(messagesKept, 0) << "some messages were kept before the kill";
    EXPECT_GT(ids, 0);

    // A last run ends the usual way with every file in order.
    Program last;
    last.start(folder, base, pal.server.serverPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listening(base + 3); }, 20000));
    last.process.terminate();
    ASSERT_TRUE(last.process.waitForFinished(10000));
    EXPECT_EQ(last.process.exitCode(), 0);
    EXPECT_TRUE(folder.read("ovela.log").endsWith(": OVELA Power Down\r\n"));
}
