// A program that answers by itself, with a pal server of this project: its pal, calling from the
// address the pal server knows under the pal's name, is answered at once and pictures and speech
// cross; a stranger on the same machine is declined, and the log says why; the stranger's quick
// message waits unopened; a termination signal ends the program cleanly.
#include "callanalysis.h"
#include "callrunner.h"
#include "calls/answeringpolicy.h"
#include "directoryprocess.h"
#include "messaging/messagestore.h"
#include "userdata/lists.h"

#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

void start(CallRunner::Program &p, const QByteArray &ini, const QStringList &arguments,
           QMap<QString, QString> env)
{
    env.insert(QStringLiteral("OVELA_MAP_PORTS"), QStringLiteral("No"));
    p.start(QStringLiteral(OVELA_BINARY), ini, arguments, env);
}

} // namespace

TEST(AProgramThatAnswersByItself, AnswersItsPalDeclinesAStrangerAndKeepsTheMessage)
{
    DirectoryServer server;
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.listening(); }, 10000));
    QTemporaryDir shared;
    const QString speech = shared.filePath(QStringLiteral("speech.wav"));
    ASSERT_TRUE(CallAnalysis::writeSpeechLikeWav(speech, 10));
    const QString palHost = QStringLiteral("127.0.0.1:%1").arg(server.palPort);
    const QMap<QString, QString> devices{{"OVELA_CAMERA", "pattern:320x240:yuv12"},
                                         {"OVELA_MIC", "wav:" + speech},
                                         {"OVELA_PAL_HOST", palHost}};
    const quint16 anaPort = freeBasePort(), boPort = freeBasePort(), evePort = freeBasePort();

    CallRunner::Program ana, bo, eve;
    QFile pals(ana.file("ovela.pal"));
    ASSERT_TRUE(pals.open(QIODevice::WriteOnly));
    pals.write("Bo Smith\r\nbo@example.org\r\n");
    pals.close();
    ana.keepOutput();
    start(ana,
          "[Personal]\nName=Ana Lee\nEMail=ana@example.org\nLocation=Porto\n"
          "[Calling]\nEnableRTC=False\n",
          {"--answer-unattended", "--base-port", QString::number(anaPort)}, devices);
    ASSERT_TRUE(CallRunner::listening(anaPort + 3, 10000, ana.process.processId()));

    // Bo logs in at the pal server a second after start-up and calls a second later.
    QMap<QString, QString> boEnv = devices;
    boEnv.insert("OVELA_SCRIPT",
                 QStringLiteral("call:2:127.0.0.1:%1;talk:1-4.5;hangup:7;quit:1").arg(anaPort));
    start(bo,
          "[Personal]\nName=Bo Smith\nEMail=bo@example.org\nLocation=Oslo\n"
          "[Calling]\nEnableRTC=False\n",
          {"--base-port", QString::number(boPort)}, boEnv);
    ASSERT_TRUE(bo.finished(60000)) << "the pal's call ends and the pal quits";

    QMap<QString, QString> eveEnv = devices;
    eveEnv.insert("OVELA_SCRIPT", QStringLiteral("call:2:127.0.0.1:%1;send:3:1:127.0.0.1:%1:Hello "
                                                 "Ana;exit:12")
                                      .arg(anaPort));
    start(eve, "[Personal]\nName=Eve Stranger\nEMail=eve@example.org\nLocation=Nowhere\n",
          {"--base-port", QString::number(evePort)}, eveEnv);
    ASSERT_TRUE(eve.finished(60000));
    ana.process.terminate();
    ASSERT_TRUE(ana.finished(10000)) << "a termination signal ends it cleanly";

    const QString log = ana.read("ovela.log");
    const QString journal = ana.read("stderr.txt");
    for (const QString &said :
         {QStringLiteral("Answered Bo Smith of Oslo at 127.0.0.1: pal bo@example.org is online"),
          QStringLiteral("Call with Bo Smith of Oslo at 127.0.0.1 ended after"),
          QStringLiteral("Declined Eve Stranger of Nowhere at 127.0.0.1: ")}) {
        EXPECT_TRUE(log.contains(said)) << said.toStdString() << "\n" << log.toStdString();
        EXPECT_TRUE(journal.contains(said)) << said.toStdString();
    }
    EXPECT_TRUE(eve.read("ovela.log").contains("Call Not Accepted from 127.0.0.1"));
    EXPECT_FALSE(log.contains("Eve Stranger of Nowhere at 127.0.0.1 ended"));

    // Pictures both ways and the pal's speech to the unattended side.
    const CallAnalysis::Report atAna = CallAnalysis::readReport(ana.file("report.txt"));
    const CallAnalysis::Report atBo = CallAnalysis::readReport(bo.file("report.txt"));
    ASSERT_TRUE(atAna.valid && atBo.valid);
    EXPECT_GT(atAna.picturesReceived, 20);
    EXPECT_GT(atBo.picturesReceived, 20);
    EXPECT_GT(atAna.speechBlocksReceived, 10);
    const std::vector<float> heard = CallAnalysis::readWav(ana.file("speaker.wav"));
    EXPECT_GT(CallAnalysis::bestCorrelation(CallAnalysis::readWav(speech), heard, 2 * 8000), 0.8);

    // The stranger's message waits, unopened.
    QFile store(ana.file("ovela.msg"));
    QList<ReceivedMessage> kept;
    ASSERT_TRUE(store.open(QIODevice::ReadOnly));
    MessageStore::decode(store.readAll(), &kept);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept.first().text, "Hello Ana");
}

TEST(AnsweringPolicy, TrustsAnAddressNeverANameAlone)
{
    PalList pals;
    pals.entries = {{"Bo Smith", "bo@example.org", "192.0.2.7", "Oslo", 2000, 2},
                    {"Cy Park", "cy@example.org", "192.0.2.8", "Rome", 2000, 1}}; // offline
    AnsweringPolicy byPals(AnsweringPolicy::Mode::Pals, pals);
    QTemporaryDir dir;
    QFile list(dir.filePath("unattended.txt"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("# home\n192.168.1.0/24\n  198.51.100.20   Jo  Silva # grandpa\nnot-an-address\n");
    list.close();
    AnsweringPolicy byList(AnsweringPolicy::Mode::List, pals);
    int skipped = 0;
    ASSERT_TRUE(byList.loadList(list.fileName(), &skipped));
    EXPECT_EQ(skipped, 1);

    const struct {
        const AnsweringPolicy &policy;
        const char *name, *host;
        bool answer;
    } cases[] = {
        {byPals, "Bo Smith", "192.0.2.7", true},
        {byPals, "bo  smith", "::ffff:192.0.2.7", true}, // a dual-stack listener's address
        {byPals, "Bo Smith", "192.0.2.9", false},        // the name from elsewhere
        {byPals, "Eve", "192.0.2.7", false},             // the address under another name
        {byPals, "Cy Park", "192.0.2.8", false},         // not online
        {byList, "Anyone", "192.168.1.40", true},
        {byList, "Jo Silva", "198.51.100.20", true},
        {byList, "Eve", "198.51.100.20", false},
        {byList, "Jo Silva", "198.51.100.21", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.policy.check(c.name, c.host).answer, c.answer) << c.name << " at " << c.host;
    EXPECT_FALSE(AnsweringPolicy(AnsweringPolicy::Mode::List, pals).check("Jo", "::1").answer)
        << "without a list nobody";
}
