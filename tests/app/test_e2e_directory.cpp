// Two programs and the directory server of this project, on free ports: both log in and are
// listed, one finds the other by e-mail and calls it, pals go online and offline across the check
// cycles, and a program restarted keeps the user ID the pal server gave it.
#include "directoryprocess.h"
#include "testsupport.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace
{

// A program set up to use the server, with the pal check window "visible".
void setUp(TestProgram &t, DirectoryServer &server, const char *name, const char *email)
{
    t.start();
    Settings &s = t->settings();
    s.Name = name;
    s.EMail = email;
    s.Location = "Porto";
    s.AutoAccept = true;
    s.DirAddress = "127.0.0.1";
    s.DirPort = qint16(server.directoryPort);
    t->directoryModel().setVisible(true);
}

bool listed(TestProgram &t, const QString &name)
{
    for (const DirectoryModel::Row &row : t->directoryModel().users())
        if (row.name == name) return true;
    return false;
}

} // namespace

TEST(WithTheDirectoryServer, LoggedInListedFoundByEmailCalledAndPalsFollowed)
{
    DirectoryServer server;
    ASSERT_TRUE(waitUntil([&] { return server.listening(); }));
    TestProgram ana(nullptr, freeBasePort(), server.palPort);
    TestProgram bo(nullptr, freeBasePort(), server.palPort);
    setUp(ana, server, "Ana", "ana@example.org");
    setUp(bo, server, "Bo", "Bo@Example.org");

    // Each asks the pal server for an ID, then logs in to the directory.
    for (TestProgram *t : {&ana, &bo}) {
        (*t)->presence().connectPalServer();
        ASSERT_TRUE(waitUntil([&] { return (*t)->identity().userId() > 0; }));
        (*t)->directoryModel().openedByCommand();
        (*t)->directoryModel().activated();
    }
    EXPECT_NE(ana->identity().userId(), bo->identity().userId());
    ASSERT_TRUE(waitUntil([&] {
        bo->directoryModel().refresh();
        return listed(bo, "Ana") && listed(bo, "Bo");
    }));

    // Bo calls Ana by her e-mail address; the directory tells where she is.
    bo->outgoing().callTyped("ana@example.org");
    ASSERT_TRUE(waitUntil([&] { return bo->media().inCall() && ana->media().inCall(); }));
    EXPECT_EQ(bo->outgoing().userName(), "Ana");
    bo->mainWindow().hangUp();

    // Ana is Bo's pal: online while her program runs, offline once it has ended.
    ASSERT_TRUE(bo->directoryModel().addPal("ana@example.org"));
    ASSERT_TRUE(waitUntil([&] { return bo->directoryModel().onlinePals().size() == 1; }));
    EXPECT_EQ(bo->directoryModel().onlinePals()[0].name, "Ana") << "the name the server knows";
    const qint32 anaId = ana->identity().userId();
    ana.program.shutDown();
    ASSERT_TRUE(waitUntil([&] {
        bo->presence().checkTick();
        return bo->directoryModel().offlinePals().size() == 1;
    }));

    // Ana's next run keeps her ID: it logs in with it instead of asking for a new one.
    TestProgram again(nullptr, freeBasePort(), server.palPort);
    ASSERT_TRUE(QFile::copy(ana->identity().path(), again->identity().path()));
    setUp(again, server, "Ana", "ana@example.org");
    EXPECT_EQ(again->identity().userId(), anaId);
    again->presence().connectPalServer();
    ASSERT_TRUE(waitUntil([&] {
        bo->presence().checkTick();
        return bo->directoryModel().onlinePals().size() == 1;
    }));
    EXPECT_EQ(again->identity().userId(), anaId);
}
