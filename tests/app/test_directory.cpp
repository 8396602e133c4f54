// The directory and pal clients against scripted servers that check every byte, hostile replies,
// pal presence cycles, the user ID across restarts, and the directory window's decisions.
#include "testsupport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace
{

class DirectoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        t.start();
        Settings &s = t->settings();
        s.Name = "Cleo";
        s.EMail = "Cleo@Example.ORG";
        s.Location = "Lisbon";
        s.Comment = "hi";
        s.DirAddress = "127.0.0.1";
        s.DirPort = qint16(dirPort);
    }
    // Opens the directory connection; returns the server's end once the login has arrived.
    RawConnection *connectDirectory()
    {
        t->directory().connectDirectory("127.0.0.1", qint16(dirPort));
        RawConnection *c = directory.waitForConnection();
        EXPECT_TRUE(c && c->waitFor("INT<ET>"));
        return c;
    }
    RawConnection *connectPal()
    {
        t->presence().connectPalServer();
        RawConnection *c = pal.waitForConnection();
        EXPECT_TRUE(c);
        return c;
    }
    QString login(int kind, int basePort = 0)
    {
        return QStringLiteral("LGN;%1;Cleo;cleo@example.org;Lisbon;hi;%2;NO;NO;2.5;%3;NO;v1.2;%4;"
                              "<ET>")
            .arg(t->identity().userId())
            .arg(kind)
            .arg(kind == 0 ? "YES" : "NO")
            .arg(basePort ? basePort : t.port());
    }

    const quint16 dirPort = freeBasePort(), palPort = freeBasePort();
    RawListener directory{dirPort}, pal{palPort};
    TestProgram t{nullptr, freeBasePort(), palPort};
    DirectoryModel &model = t->directoryModel();
};

} // namespace

TEST_F(DirectoryTest, LoginThenEveryServerMessage)
{
    RawConnection *server = connectDirectory();
    ASSERT_TRUE(server);
    EXPECT_EQ(QString::fromUtf8(server->received()), login(0) + "INT<ET>");
    EXPECT_EQ(t->settings().EMail, "cleo@example.org") << "the login lowers the e-mail setting";
    EXPECT_EQ(model.status(), "Connected to Directory Server");
    server->clear();

    server->send("INT;Welcome here;<ET>");
    ASSERT_TRUE(server->take("LS1<ET>"));
    EXPECT_EQ(t.messages.info.last(), "Welcome here");
    EXPECT_EQ(model.status(), "Requesting User List");

    QSignalSpy choices(&model, &DirectoryModel::serverChoicesChanged);
    QSignalSpy redirect(&model, &DirectoryModel::redirectOffered);
    server->send("MSG;Maintenance at 5;<ET>VCL;10.0.0.1;2020;Main;10.0.0.2;80;Backup;<ET>"
                 "LS1;7;3;1;Ann;Porto;10.0.0.7;a;0;YES;NO;1;2004;2;Bo;Oslo;10.0.0.8;b;0;YES;NO;0;"
                 "2000;3;Eve;Rome;10.0.0.9;c;2;NO;NO;1;2000;<ET>RDM;;dir2.example;2020;Go;<ET>");
    ASSERT_TRUE(waitUntil([&] { return redirect.count() == 1; }));
    EXPECT_TRUE(t.messages.info.contains("Maintenance at 5"));
    EXPECT_EQ(model.serverChoices(),
              (QStringList{"10.0.0.1:2020  (Main)", "10.0.0.2:80  (Backup)"}));
    EXPECT_EQ(model.onlineCount(), "7 Users Online");
    EXPECT_EQ(model.listedCount(), "3 Users Listed");
    EXPECT_EQ(model.status(), "Select User for Connection");
    const QList<DirectoryModel::Row> rows = model.users();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].key, "0001A");
    EXPECT_EQ(rows[2].key, "0003A");
    EXPECT_EQ(rows[1].location, "Oslo");
    EXPECT_EQ((std::vector<int>{rows[0].icon, rows[1].icon, rows[2].icon}),
              (std::vector<int>{3, 4, 9}));
    EXPECT_EQ(redirect[0][0].toString(), "dir2.example:2020");
    EXPECT_EQ(model.selectUser("0002A"), "10.0.0.8");

    server->send("BSY;No room;<ET>");
    ASSERT_TRUE(server->waitClosed());
    EXPECT_TRUE(t->settings().DirAddress.isEmpty()) << "no automatic reconnection";
    EXPECT_EQ(t.messages.info.last(), "No room");
}

TEST(DirectoryIcons, ByStatusKindVideoAndAudio)
{
    struct Case {
        int status, kind;
        bool video, audio;
        int icon;
    };
    const Case cases[] = {{0, 1, true, true, 1},   {0, 0, true, true, 2},   {0, 1, true, false, 3},
                          {0, 0, true, false, 4},  {0, 1, false, true, 5},  {0, 2, false, true, 6},
                          {0, 1, false, false, 7}, {0, 0, false, false, 8}, {1, 1, true, true, 9},
                          {4, 0, false, false, 9}, {3, 1, true, true, 7},   {-1, 1, true, true, 7}};
    for (const Case &c : cases)
        EXPECT_EQ(DirectoryModel::iconFor(c.status, c.kind, c.video, c.audio), c.icon)
            << c.status << " " << c.kind << " " << c.video << c.audio;
}

TEST_F(DirectoryTest, HostileRepliesChangeNothingBeyondTheirMessage)
{
    RawConnection *server = connectDirectory();
    ASSERT_TRUE(server);
    QByteArray many = "LS1;600;600;";
    for (int i = 1; i <= 600; ++i)
        many +=
            QByteArray::number(i) + ";U" + QByteArray::number(i) + ";;10.0.0.1;;0;YES;YES;1;2000;";
    server->send(many + "<ET>");
    ASSERT_TRUE(waitUntil([&] { return model.users().size() == 500; })) << "the first 500";

    // Junk, a 10 MB line without its terminator, a record cut short: then a sound message.
    server->send(QByteArray("\x00\xff\x01<ET>;;;<ET>", 12));
    const QByteArray block(1024 * 1024, 'x');
    for (int i = 0; i < 10; ++i) {
        server->send(block);
        QCoreApplication::processEvents();
    }
    server->send("<ET>LS1;2;1;9;Zed;<ET>");
    ASSERT_TRUE(waitUntil([&] { return model.users().size() == 1; }));
    EXPECT_EQ(model.users()[0].name, "Zed");
    EXPECT_EQ(model.users()[0].location, "");
    EXPECT_EQ(model.selectUser("0001A"), "");
    EXPECT_TRUE(t->directory().connected());
}

TEST_F(DirectoryTest, AnEmailAddressIsLookedUpAndTheUserFoundIsCalled)
{
    RawConnection *server = connectDirectory();
    ASSERT_TRUE(server);
    server->clear();
    const quint16 callee = freeBasePort();
    RawListener peer(callee);
    t->outgoing().callTyped("  Ann@Example.org ");
    ASSERT_TRUE(server->take("GEM;Ann@Example.org;<ET>"));
    EXPECT_EQ(t->session().callState(), CallStates::LookingUpEmail);
    server->send(
        QStringLiteral("GER;ann@example.org;Ann;Porto;127.0.0.1;%1;<ET>").arg(callee).toUtf8());
    RawConnection *control = peer.waitForConnection();
    ASSERT_TRUE(control && control->waitFor("RQC;Cleo;Lisbon;"));
    EXPECT_EQ(t->outgoing().userName(), "Ann");
    EXPECT_EQ(t->outgoing().userLocation(), "Porto");
    t->outgoing().cancel();

    t->outgoing().callTyped("nobody@example.org");
    server->send("GER;nobody@example.org;;;0.0.0.0;0;<ET>");
    ASSERT_TRUE(waitUntil([&] { return t->session().callState() == CallStates::EmailNotFound; }));
}

// Answers nobody waits for are dropped and logged: one out of the blue, one for a lookup the
// user cancelled. A directory connection that drops is shown at once, its list greyed, and comes
// back by itself while the window is open; closed, an e-mail call says why it cannot look up.
TEST_F(DirectoryTest, OnlyAnswersAwaitedAreUsedAndALostDirectoryComesBack)
{
    RawConnection *server = connectDirectory();
    ASSERT_TRUE(server);
    server->send("LS1;1;1;5;Ann;Porto;10.0.0.7;;0;YES;NO;1;2000;<ET>");
    ASSERT_TRUE(waitUntil([&] { return model.users().size() == 1; }));
    const quint16 trap = freeBasePort();
    RawListener impostor(trap);
    const QByteArray answer =
        QStringLiteral("GER;ann@example.org;Eve;Nowhere;127.0.0.1;%1;<ET>").arg(trap).toUtf8();
    const auto ignored = [&] { return t->log().entries().filter("Ignored a directory").size(); };
    server->send(answer);
    ASSERT_TRUE(waitUntil([&] { return ignored() == 1; }));
    t->outgoing().callTyped("ann@example.org");
    ASSERT_TRUE(server->take("GEM;ann@example.org;<ET>"));
    t->outgoing().cancel();
    server->send(answer);
    ASSERT_TRUE(waitUntil([&] { return ignored() == 2; }));
    EXPECT_EQ(impostor.waitForConnection(300), nullptr) << "no call placed";

    model.setVisible(true);
    server->close();
    ASSERT_TRUE(
        waitUntil([&] { return model.status() == "Unable to contact Directory Server"; }, 2000));
    EXPECT_TRUE(model.listStale());
    RawConnection *again = directory.waitForConnection();
    ASSERT_TRUE(again && again->waitFor("INT<ET>")) << "reconnected after a second";
    EXPECT_EQ(model.status(), "Connected to Directory Server");

    model.setVisible(false);
    again->close();
    ASSERT_TRUE(waitUntil([&] { return !t->directory().connected(); }));
    t->outgoing().callTyped("bo@example.org");
    EXPECT_TRUE(t.messages.info.last().startsWith("The directory server is not connected"));
    EXPECT_EQ(directory.waitForConnection(1500), nullptr) << "a closed window does not retry";
}

TEST_F(DirectoryTest, ThePalServerGivesAnIdThatSurvivesARestart)
{
    RawConnection *server = connectPal();
    ASSERT_TRUE(server && server->take("RSN;<ET>"));
    server->send("NSN;4711;<ET>");
    ASSERT_TRUE(server->waitFor("<ET>")) << server->received().toStdString();
    EXPECT_EQ(QString::fromUtf8(server->received()), login(3));
    EXPECT_EQ(t->identity().userId(), 4711);

    // A second program in the same settings folder logs in with it at once.
    ScratchFolder elsewhere;
    TestProgram again(nullptr, freeBasePort(), palPort);
    UserIdentity restarted(again->settings(), again.messages,
                           QFileInfo(t->identity().path()).absolutePath());
    restarted.load();
    EXPECT_EQ(restarted.userId(), 4711);

    // A damaged file is set aside, reported, and leaves no ID.
    QFile damaged(t->identity().path());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a number\r\n");
    damaged.close();
    UserIdentity fresh(again->settings(), again.messages,
                       QFileInfo(t->identity().path()).absolutePath());
    fresh.load();
    EXPECT_EQ(fresh.userId(), UserIdentity::NoId);
    EXPECT_TRUE(QFile::exists(t->identity().path() + ".damaged"));
    EXPECT_FALSE(again.messages.errors.isEmpty());
}

TEST_F(DirectoryTest, BothServersLearnTheBasePortTheRouterForwards)
{
    // Logged in with the program's own ports; then the router forwards 2404 to 2407 to them.
    t->identity().setUserId(7);
    RawConnection *directoryServer = connectDirectory();
    RawConnection *palServer = connectPal();
    ASSERT_TRUE(directoryServer && palServer && palServer->waitFor("<ET>"));
    directoryServer->clear();
    palServer->clear();
    emit t->portMapping().reachableBasePortChanged(2404);
    ASSERT_TRUE(directoryServer->waitFor("<ET>") && palServer->waitFor("<ET>"));
    EXPECT_EQ(QString::fromUtf8(directoryServer->received()), login(0, 2404));
    EXPECT_EQ(QString::fromUtf8(palServer->received()), login(3, 2404));
}

TEST_F(DirectoryTest, APalCycleAsksOneAtATimeAndFillsTheListsOnce)
{
    for (const char *address : {"ann@x.org", "Bo@X.org", "eve@x.org"})
        t->pals().add(address, address);
    t->identity().setUserId(7);
    RawConnection *server = connectPal();
    ASSERT_TRUE(server && server->take("<ET>")); // the pal login
    QSignalSpy filled(&t->presence(), &PalPresence::palListsChanged);

    t->presence().checkTick();
    EXPECT_TRUE(server->received().isEmpty()) << "a hidden window: only the connection is kept";
    model.setVisible(true);
    t->presence().checkTick();
    ASSERT_TRUE(server->take("GEM;ann@x.org;<ET>"));
    server->send("GER;ann@x.org;Ann Lee;Porto;10.0.0.7;2004;<ET>");
    ASSERT_TRUE(server->take("GEM;bo@x.org;<ET>"));
    server->send("GER;bo@x.org;Bob;Oslo;0.0.0.0;0;<ET>");
    ASSERT_TRUE(server->take("GEM;eve@x.org;<ET>"));
    EXPECT_EQ(filled.count(), 0) << "the lists change only at the end of a cycle";
    server->send("GER;someone@else.org;X;Y;10.0.0.1;1;<ET>"); // matches no pal
    ASSERT_TRUE(waitUntil([&] { return filled.count() == 1; }));
    ASSERT_EQ(model.onlinePals().size(), 1);
    EXPECT_EQ(model.onlinePals()[0].name, "Ann Lee") << "the name the server reports";
    EXPECT_EQ(model.selectOnlinePal("0001A"), "10.0.0.7");
    EXPECT_EQ(model.offlinePals().size(), 2);
    EXPECT_EQ(model.offlinePals()[0].name, "Bo@X.org") << "an offline pal keeps its name";

    // The server moves the pal connection elsewhere.
    const quint16 otherPort = freeBasePort();
    RawListener other(otherPort);
    server->send(QStringLiteral("BSY;127.0.0.1;%1;<ET>").arg(otherPort).toUtf8());
    RawConnection *moved = other.waitForConnection();
    ASSERT_TRUE(moved && moved->waitFor("LGN;7;"));
}

TEST_F(DirectoryTest, TheWindowsDecisions)
{
    // Activation refreshes once after the Directory command, and not again.
    RawConnection *server = connectDirectory();
    ASSERT_TRUE(server);
    server->clear();
    model.openedByCommand();
    model.activated();
    model.activated();
    t->directory().lookUpEmail("marker"); // sent after whatever the activations sent
    ASSERT_TRUE(server->waitFor("GEM;marker;<ET>"));
    EXPECT_EQ(server->received(), "LS1<ET>GEM;marker;<ET>");

    // Pals: an empty address is refused; added in lower case; deleted by key.
    EXPECT_FALSE(model.addPal(""));
    EXPECT_EQ(t.messages.boxes.last(), "You must enter an email address to add this Pal");
    EXPECT_TRUE(model.addPal("Eve@X.org"));
    EXPECT_EQ(t->pals().entries[0].EMail, "eve@x.org");
    EXPECT_EQ(model.offlinePals().size(), 1);
    model.deletePal({}, {});
    EXPECT_EQ(t->pals().count(), 1) << "nothing selected: nothing deleted";
    model.deletePal({}, "0001A");
    EXPECT_EQ(t->pals().count(), 0);

    // Send Message: an older version cannot receive one; nothing selected says so.
    server->send("LS1;1;1;0;Old;There;10.0.0.3;;0;NO;NO;1;2000;<ET>");
    ASSERT_TRUE(waitUntil([&] { return model.users().size() == 1; }));
    QSignalSpy compose(&model, &DirectoryModel::composeRequested);
    model.sendMessage("0001A", {});
    EXPECT_EQ(t.messages.boxes.last(),
              "This person is using an older version. You cannot send a message to an older "
              "version.");
    model.sendMessage({}, {});
    EXPECT_EQ(t.messages.boxes.last(), "Select a user to send message.");
    EXPECT_EQ(compose.count(), 0);

    // The chosen server's port is read as the options read it: five digits whole when they make
    // a port, else at most four.
    for (const auto &[text, port] :
         {std::pair{"127.0.0.1:123456", 12345}, std::pair{"127.0.0.1:20100", 20100},
          std::pair{"127.0.0.1:99999", 9999}}) {
        model.chooseServer(text);
        EXPECT_EQ(t->settings().DirPort, port) << text;
    }
    EXPECT_EQ(model.resized(100, 100),
              QSize(DirectoryModel::MinimumWidthTwips, DirectoryModel::MinimumHeightTwips));
    EXPECT_EQ(t->settings().DirWidth, DirectoryModel::MinimumWidthTwips);
}
