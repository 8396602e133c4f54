// The connection doctor against the directory server of this project, a server too old to check
// reachability, a port another program holds and a closed one.
#include "directoryprocess.h"
#include "doctor/connectiondoctor.h"
#include "platform/netaddress.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

namespace
{

// Runs the doctor to the end: each check's verdict and finding by its title.
std::map<QString, DoctorCheck> examine(ConnectionDoctor &doctor)
{
    doctor.run();
    EXPECT_TRUE(waitUntil([&] { return !doctor.running(); }, 20000));
    std::map<QString, DoctorCheck> byTitle;
    for (const DoctorCheck &c : doctor.checks())
        byTitle.emplace(c.title, c);
    return byTitle;
}

} // namespace

TEST(ConnectionDoctor, NamesWhatStandsInTheWayOfCalls)
{
    DirectoryServer server;
    ASSERT_TRUE(waitUntil([&] { return server.listening(); }));
    DoctorSetup setup;
    setup.directoryHost = QStringLiteral("127.0.0.1");
    setup.directoryPort = server.directoryPort;
    setup.palHost = QStringLiteral("127.0.0.1");
    setup.palPort = server.palPort;
    setup.basePort = freeBasePort();
    setup.cameras = [] { return QStringList{QStringLiteral("Desk camera")}; };
    setup.openSound = [](bool recording) { return recording ? QString() : QStringLiteral("hw:9"); };
    setup.reachTimeoutMs = 1000;
    ConnectionDoctor doctor;
    doctor.setSetupSource([&] { return setup; });

    // Everything answers: only the speaker that does not open stands in the way.
    auto checks = examine(doctor);
    using V = DoctorCheck::Verdict;
    const std::pair<const char *, V> first[] = {
        {"Directory server's name", V::Fine},
        {"Directory server", V::Fine},
        {"Pal server", V::Fine},
        {"Call ports", V::Fine},
        {"Router", V::NotChecked},
        {"Reachable from outside", V::Fine},
        {"Sound", V::Problem},
        {"Camera", V::Fine},
    };
    for (const auto &[title, verdict] : first)
        EXPECT_EQ(checks[title].verdict, verdict)
            << title << ": " << checks[title].finding.toStdString();
    EXPECT_TRUE(checks["Reachable from outside"].finding.contains("on your own network"));
    EXPECT_TRUE(checks["Sound"].finding.contains("speaker could not be opened (hw:9)"));
    EXPECT_FALSE(doctor.callsCanWork());
    EXPECT_TRUE(doctor.report().endsWith("One problem stands in the way of calls.\n"));

    // A directory that takes connections but never answers the check (an older server), a pal
    // server that is not running, another program on a call port, no camera.
    QTcpServer older;
    ASSERT_TRUE(older.listen(QHostAddress::LocalHost));
    setup.directoryPort = older.serverPort();
    setup.palPort = freeBasePort();
    DirectoryServer other(quint16(setup.basePort + 1));
    ASSERT_TRUE(waitUntil([&] { return other.listening(); }));
    setup.cameras = [] { return QStringList(); };
    setup.openSound = [](bool) { return QString(); };
    checks = examine(doctor);
    const std::tuple<const char *, V, const char *> second[] = {
        {"Directory server", V::Fine, "answered"},
        {"Pal server", V::Warning, "Nothing answers"},
        {"Call ports", V::Problem, "by ovela-directory (process"},
        {"Reachable from outside", V::NotChecked, "older server"},
        {"Sound", V::Fine, "open"},
        {"Camera", V::Warning, "No camera"},
    };
    for (const auto &[title, verdict, words] : second) {
        EXPECT_EQ(checks[title].verdict, verdict) << title;
        EXPECT_TRUE(checks[title].finding.contains(QLatin1String(words)))
            << title << ": " << checks[title].finding.toStdString();
    }
    EXPECT_TRUE(checks["Call ports"].advice.contains("--base-port"));
    EXPECT_FALSE(doctor.callsCanWork());
}

TEST(ConnectionDoctor, OnTheCommandLineItsStatusSaysWhetherCallsCanWork)
{
    DirectoryServer server;
    ASSERT_TRUE(waitUntil([&] { return server.listening(); }));
    QTemporaryDir home;
    QDir().mkpath(home.filePath("config/ovela"));
    QFile ini(home.filePath("config/ovela/ovela.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Personal]\nDirAddress=127.0.0.1\nDirPort=" +
              QByteArray::number(server.directoryPort) + "\n");
    ini.close();
    writeSilentWav(home.filePath("mic.wav"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("XDG_DATA_HOME", home.filePath("data"));
    environment.insert("OVELA_PAL_HOST", QStringLiteral("127.0.0.1:%1").arg(server.palPort));
    environment.insert("OVELA_MIC", "wav:" + home.filePath("mic.wav"));
    environment.insert("OVELA_SPEAKER", "wav:" + home.filePath("speaker.wav"));
    environment.insert("OVELA_CAMERA", "pattern:320x240:rgb24");
    environment.remove("DISPLAY"); // no window is needed

    // Free call ports, then ports the directory server holds.
    for (const quint16 base : {freeBasePort(), server.directoryPort}) {
        QProcess doctor;
        doctor.setProcessEnvironment(environment);
        doctor.start(QStringLiteral(OVELA_BINARY),
                     {"--doctor", "--base-port", QString::number(base)});
        ASSERT_TRUE(doctor.waitForFinished(30000));
        const QString out = QString::fromUtf8(doctor.readAllStandardOutput());
        const bool taken = base == server.directoryPort;
        EXPECT_TRUE(out.contains(taken ? "[problem] Call ports: Calls cannot come in"
                                       : "[fine] Reachable from outside"))
            << out.toStdString();
        if (NetAddress::hasNetwork()) {
            EXPECT_EQ(doctor.exitCode(), taken ? 1 : 0) << out.toStdString();
        }
    }
}
