// The ovela-directory program: its command line, and a run ended by SIGTERM.
#include "harness.h"

#include <QFile>
#include <QProcess>
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
