// The ovela-directory program: its command line, and a run ended by SIGTERM.
#include "harness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

struct Outcome {
    int code = -1;
    QString out, err;
};

Outcome run(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral(OVELA_DIRECTORY_PROGRAM), arguments);
    Outcome r;
    if (!p.waitForFinished(10000)) return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

} // namespace

TEST(ServerProgram, CommandLine)
{
    struct Case {
        QStringList arguments;
        int code;
        const char *out, *err;
    };
    const Case cases[] = {
        {{"--help"}, 0, "--directory-port", ""},
        {{"--version"}, 0, "ovela-directory 2.5\n", ""},
        {{"--bogus"}, 2, "", "bogus"},
        {{"--pal-port", "65536"}, 2, "", "--pal-port"},
        {{"stray"}, 2, "", "stray"},
        {{"--config", "/nonexistent/server.ini"}, 1, "", "/nonexistent/server.ini"},
        {{"--database", "mysql://h/db"}, 1, "", "mysql"},
        {{"--release"}, 2, "", "--release"},
        {{"--log-level", "loud"}, 2, "", "--log-level"},
    };
    for (const Case &c : cases) {
        const Outcome r = run(c.arguments);
        const std::string what = c.arguments.join(' ').toStdString();
        EXPECT_EQ(r.code, c.code) << what;
        EXPECT_TRUE(r.out.contains(QLatin1String(c.out))) << what << ": " << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.err))) << what << ": " << r.err.toStdString();
        if (c.code == 0) {
            EXPECT_TRUE(r.err.isEmpty()) << what;
        }
    }
}

TEST(ServerProgram, ServesUntilSigterm)
{
    QTemporaryDir data;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", data.path());
    QProcess p;
    p.setProcessEnvironment(environment);
    quint16 port = 0;
    QByteArray banner;
    for (int attempt = 0; attempt < 5 && banner.isEmpty(); ++attempt) {
        port = freePortPair();
        p.start(QStringLiteral(OVELA_DIRECTORY_PROGRAM), {"--directory-port", QString::number(port),
                                                          "--pal-port", QString::number(port + 1)});
        if (p.waitForReadyRead(10000)) banner = p.readLine();
        if (banner.isEmpty()) p.waitForFinished(); // the ports were taken meanwhile
    }
    ASSERT_FALSE(banner.isEmpty()) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(banner.contains(QByteArray::number(port)) &&
                banner.contains(QByteArray::number(port + 1)))
        << banner.toStdString();

    Client dir(port), pal(port + 1);
    EXPECT_EQ(dir.ask(loginLine(-1, "Ann", "ann@x.org", "", "", 0, true, 2000) + "INT<ET>LS1<ET>"),
              "INT;Welcome to this OVELA directory.;");
    EXPECT_EQ(dir.line(), "LS1;1;1;0;Ann;;127.0.0.1;;0;NO;NO;1;2000;");
    EXPECT_TRUE(pal.ask("RSN;<ET>").value_or("").startsWith("NSN;"));

    p.terminate(); // SIGTERM
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(dir.closedByServer(1000));
    // The IDs went to the default database, in the data folder.
    EXPECT_TRUE(QFile::exists(data.filePath("ovela-directory/directory.db")));
}

TEST(ServerProgram, TheOperatorListsAndReleasesOwners)
{
    QTemporaryDir folder;
    const QString database = folder.filePath("directory.db");
    TestServer server({}, database);
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    const qint32 ana = newId(server), eve = newId(server);
    ASSERT_TRUE(ana && eve);
    Client first(server.directoryPort());
    EXPECT_TRUE(first.ask(loginLine(ana, "Ana", "ana@x.org", "", "", 0, true, 2000) + "INT<ET>")
                    .value_or("")
                    .startsWith("INT;"));

    Outcome r = run({"--database", database, "--list-owners"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("ana@x.org\t%1\t").arg(ana)))
        << r.out.toStdString();
    r = run({"--database", database, "--release", "Ana@X.org"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("ana@x.org released from user ID %1\n").arg(ana));
    r = run({"--database", database, "--release", "ana@x.org", "--list-owners"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("ana@x.org was nobody's")) << r.err.toStdString();

    // Freed: the next login with an ID claims it.
    Client second(server.directoryPort());
    EXPECT_TRUE(second.ask(loginLine(eve, "Eve", "ana@x.org", "", "", 0, true, 2000) + "INT<ET>")
                    .value_or("")
                    .startsWith("INT;"));
    EXPECT_EQ(run({"--database", database, "--list-owners"}).out.section('\t', 0, 1),
              QStringLiteral("ana@x.org\t%1").arg(eve));
}

TEST(ServerProgram, LogsEachEventOnceAtItsLevel)
{
    QTemporaryDir data;
    const QString ini =
        writeConfig(data, "[log]\nlevel = warning\n[pal]\nnew_ids_per_address_per_hour = 1\n");
    ASSERT_FALSE(ini.isEmpty());
    struct Case {
        QStringList arguments;
        bool info, warning;
    };
    const Case cases[] = {
        {{}, true, true},
        {{"--config", ini}, false, true},
        {{"--config", ini, "--log-level", "error"}, false, false},
        {{"--config", ini, "--log-level", "INFO"}, true, true},
    };
    for (const Case &c : cases) {
        const std::string what = c.arguments.join(' ').toStdString();
        const bool limited = c.arguments.contains("--config"); // one new ID an hour
        QProcess p;
        quint16 port = 0;
        QTemporaryDir database; // each run claims the same address afresh
        ASSERT_TRUE(startServer(p, &port, c.arguments, database.path())) << what;
        qint32 id = 0;
        {
            Client pal(port + 1), greedy(port + 1);
            const QByteArray issued = pal.ask("RSN;<ET>").value_or("");
            id = issued.mid(4).chopped(1).toInt();
            ASSERT_TRUE(issued.startsWith("NSN;") && id > 0) << what;
            EXPECT_EQ(greedy.ask("RSN;<ET>").value_or("").startsWith("NSN;"), !limited) << what;

            // A name that tries to start a log line of its own.
            Client eve(port), guesser(port);
            EXPECT_TRUE(eve.ask(loginLine(id, "Eve \"\\\r\nerror: forged", "Eve@x.org", "", "", 0,
                                          true, 2000) +
                                "INT<ET>")
                            .value_or("")
                            .startsWith("INT;"));
            EXPECT_TRUE(
                guesser.send(loginLine(id % 1000000 + 1, "Mal", "", "", "", 0, true, 2000)));
            EXPECT_TRUE(guesser.closedByServer());
        }
        QByteArray log;
        const QByteArray logout =
            QStringLiteral("info: directory logout: 127.0.0.1 ID %1").arg(id).toUtf8();
        EXPECT_EQ(waitForLog(p, log, logout, c.info ? 5000 : 300), c.info) << what;
        p.terminate();
        EXPECT_TRUE(p.waitForFinished(5000));
        log += p.readAllStandardError();

        const QString eve =
            QStringLiteral("ID %1 \"Eve \\\"\\\\  error: forged\" <eve@x.org>").arg(id);
        const struct {
            QString line;
            bool wanted;
        } expected[] = {
            {QStringLiteral("info: new ID %1 for 127.0.0.1").arg(id), c.info},
            {QStringLiteral("warning: 127.0.0.1: new ID refused"), c.warning && limited},
            {QStringLiteral("info: directory login: 127.0.0.1 ") + eve + " listed", c.info},
            {QStringLiteral("info: directory logout: 127.0.0.1 ") + eve, c.info},
            {QStringLiteral("warning: directory login refused: 127.0.0.1 ID %1 \"Mal\": Login "
                            "refused: this server never issued")
                 .arg(id % 1000000 + 1),
             c.warning},
        };
        const QString text = QString::fromUtf8(log);
        for (const auto &e : expected)
            EXPECT_EQ(text.count(e.line), e.wanted ? 1 : 0)
                << what << ": " << e.line.toStdString() << "\n"
                << log.toStdString();
        static const QRegularExpression logLine(
            "^ovela-directory: (debug|info|warning|error): [^\\x00-\\x1f]+$");
        for (const QString &line : text.split('\n', Qt::SkipEmptyParts))
            EXPECT_TRUE(logLine.match(line).hasMatch()) << what << ": " << line.toStdString();
    }
}

TEST(ServerProgram, SummarizesEachPeriod)
{
    QTemporaryDir data;
    const QString ini = writeConfig(data, "[log]\nsummary_seconds = 1\n");
    ASSERT_FALSE(ini.isEmpty());
    QProcess p;
    quint16 port = 0;
    ASSERT_TRUE(startServer(p, &port, {"--config", ini}, data.path()));
    Client ann(port), bob(port), pal(port + 1), idle(port);
    EXPECT_TRUE(ann.ask(loginLine(-1, "Ann", "", "", "", 0, true, 2000) + "INT<ET>"));
    EXPECT_TRUE(bob.ask(loginLine(-1, "Bob", "", "", "", 0, false, 2000) + "INT<ET>"));
    EXPECT_TRUE(pal.ask("RSN;<ET>"));
    EXPECT_TRUE(pal.send(loginLine(-1, "Ann", "", "", "", 0, false, 2000)));

    // The counts of one period are not carried into the next.
    QByteArray log;
    EXPECT_TRUE(waitForLog(p, log,
                           "info: summary: 2 online in the directory (1 listed), 1 on the pal "
                           "server, 4 connections; in the last 1 s: 0 logins, 0 refused, 0 new "
                           "IDs, 0 connections refused, 0 lines left out\n"))
        << log.toStdString();
    static const QRegularExpression summary(
        "summary: .*: (\\d+) logins, (\\d+) refused, (\\d+) new IDs,");
    int logins = 0, ids = 0;
    for (auto it = summary.globalMatch(QString::fromUtf8(log)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        logins += m.captured(1).toInt();
        ids += m.captured(3).toInt();
    }
    EXPECT_EQ(logins, 3) << log.toStdString();
    EXPECT_EQ(ids, 1) << log.toStdString();
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(5000));
}
