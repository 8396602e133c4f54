// Two real ovela programs on one machine, each in its own folder and on base ports of its own:
// the second is started with the first one's address, the first accepts by itself, the call's
// three connections open, and a termination signal to one of them ends the call on both sides
// with the expected log lines. And the command line of a Linux program.
#include "freeport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

// TCP sockets of this machine in a given state ("0A" listening, "01" established) whose local
// port is `port`, read from /proc/net/tcp.
int socketsOnPort(quint16 port, const char *state)
{
    QFile f(QStringLiteral("/proc/net/tcp"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    int count = 0;
    const QString hexPort = QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    for (const QByteArray &raw : f.readAll().split('\n')) {
        const QStringList cols = QString::fromLatin1(raw).simplified().split(' ');
        if (cols.size() > 3 && cols[1].endsWith(hexPort) && cols[3] == QLatin1String(state))
            ++count;
    }
    return count;
}

struct Instance {
    QTemporaryDir dir;
    QProcess process;

    Instance(const QByteArray &ini)
    {
        QDir(dir.path()).mkpath(QStringLiteral("cfg/ovela"));
        QFile f(dir.filePath(QStringLiteral("cfg/ovela/ovela.ini")));
        f.open(QIODevice::WriteOnly);
        f.write(ini);
    }
    void setEnvironment(const QString &name, const QString &value) { m_extra.insert(name, value); }
    void start(const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(m_extra);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("cfg")));
        env.insert(QStringLiteral("OVELA_SOUND_LOG"), dir.filePath(QStringLiteral("sounds.txt")));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral(OVELA_BINARY), args);
    }
    bool stop()
    {
        process.terminate(); // SIGTERM
        return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }
    QString file(const char *name) const
    {
        QFile f(dir.filePath(QLatin1String(name)));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    ~Instance()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }

private:
    QProcessEnvironment m_extra;
};

bool hasLine(const QString &log, const QString &pattern)
{
    return QRegularExpression(QStringLiteral("(^|\\n)[^\\n]*: ") + pattern +
                              QStringLiteral("\\r\\n"))
        .match(log)
        .hasMatch();
}

} // namespace

TEST(TwoPrograms, CallSetUpOverLoopbackAndShutdownBySignal)
{
    const quint16 a = freeBasePort(), b = freeBasePort();
    Instance first("[Personal]\nName=Ana Lee\nEMail=ana@example.org\nLocation=Porto\n"
                   "[Calling]\nAutoAccept=True\n");
    Instance second("[Personal]\nName=Bo Smith\nEMail=bo@example.org\nLocation=Oslo\n");
    first.start({QStringLiteral("--base-port"), QString::number(a)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return socketsOnPort(a, "0A") == 1; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return socketsOnPort(a + 3, "0A") == 1; }, 10000));
    second.setEnvironment("OVELA_BASE_PORT", QString::number(b));
    second.start({QStringLiteral("127.0.0.1:%1").arg(a)});

    // Control, media and text connections, as seen from the first program's listeners.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return socketsOnPort(a, "01") == 1 && socketsOnPort(a + 1, "01") == 1 &&
                   socketsOnPort(a + 3, "01") == 1;
        },
        15000));
    EXPECT_EQ(socketsOnPort(b, "0A"), 1) << "the second program listens on its own base port";

    ASSERT_TRUE(second.stop());
    // The first program has seen the call end once its media and text connections are gone.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return socketsOnPort(a + 1, "01") == 0 && socketsOnPort(a + 3, "01") == 0; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.file("sounds.txt").contains("discon"); }));
    ASSERT_TRUE(first.stop());

    const QString log1 = first.file("ovela.log");
    const QString log2 = second.file("ovela.log");
    const QString t = QStringLiteral("([0-9]|1[0-9]|2[0-3]):[0-5][0-9]");
    EXPECT_TRUE(hasLine(log1, "OVELA Power Up")) << log1.toStdString();
    EXPECT_TRUE(hasLine(log1, "Received Call from Bo Smith, Oslo 127\\.0\\.0\\.1, " + t))
        << log1.toStdString();
    EXPECT_TRUE(hasLine(log1, "Disconnected from 127\\.0\\.0\\.1")) << log1.toStdString();
    EXPECT_TRUE(log1.endsWith(QStringLiteral(": OVELA Power Down\r\n")));

    EXPECT_TRUE(hasLine(log2, "Call Accepted from Ana Lee, Porto 127\\.0\\.0\\.1, " + t))
        << log2.toStdString();
    EXPECT_TRUE(hasLine(log2, "Placed call to 127\\.0\\.0\\.1")) << log2.toStdString();
    EXPECT_TRUE(hasLine(log2, "Disconnected from 127\\.0\\.0\\.1")) << log2.toStdString();
    EXPECT_LT(log2.indexOf("Disconnected from"), log2.indexOf("OVELA Power Down"));

    EXPECT_EQ(first.file("sounds.txt"), "ringin.wav\ndiscon.wav\n");
    EXPECT_TRUE(second.file("cfg/ovela/ovela.ini").contains("AutoDecTime= 20"))
        << "settings are written at shutdown";
}

TEST(CommandLine, HelpVersionAndMistakesEndAtOnceWithoutAWindowOrAPort)
{
    struct Case {
        QStringList args;
        int status;
        const char *output; // on standard output (0) or standard error (otherwise)
    };
    const Case cases[] = {
        {{"--version"}, 0, "ovela 2.5\n"},
        {{"--help"}, 0, "Usage: ovela [options] [address]"},
        {{"--help-all"}, 0, "--base-port <N>"},
        {{"--no-such-option"}, 2, "Unknown option 'no-such-option'"},
        {{"--base-port", "99999"}, 2, "--base-port must be a port number from 1 to 32755"},
        {{"a.example", "b.example"}, 2, "Only one address"},
    };
    for (const Case &c : cases) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(OVELA_BINARY), c.args);
        ASSERT_TRUE(p.waitForFinished(10000)) << c.args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), c.status) << c.args.join(' ').toStdString();
        const QByteArray out = c.status == 0 ? p.readAllStandardOutput() : p.readAllStandardError();
        EXPECT_TRUE(out.contains(c.output)) << out.toStdString();
    }
}
