// The windows, offscreen: controls found by their names, the texts a user sees, and the user's
// clicks reaching the program.
#include "calls/chatconversation.h"
#include "program/ui/programwindows.h"
#include "shell/mainwindowmodel.h"
#include "shell/ui/mainwindow.h"
#include "widgets/twips.h"
#include "widgets/videosurface.h"
#include "widgets/windowhelpers.h"
#include "windowtest.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

TEST_F(WindowTest, MainWindowShowsItsToolbarMenusAndIdleState)
{
    MainWindow *main = windows.mainWindow();
    ASSERT_TRUE(main && main->isVisible());
    EXPECT_EQ(main->windowTitle(), "OVELA");
    EXPECT_EQ(text("lblcmd_0"), "Call");
    EXPECT_EQ(text("lblcmd_4"), "Talk");
    EXPECT_EQ(find("cmdtoolbar_1")->toolTip(), "Display User Directory");
    ASSERT_TRUE(action("Menu_FileCall") && action("Menu_FileHangup"));
    EXPECT_TRUE(action("Menu_FileCall")->isEnabled());
    EXPECT_FALSE(action("Menu_FileHangup")->isEnabled());
    EXPECT_EQ(action("Menu_FileHangup")->shortcut(), QKeySequence("Ctrl+H"));
    EXPECT_TRUE(find("imgQvidLogo")->isVisible());
    EXPECT_EQ(find("imgVidIn")->size(), QSize(320, 240));
    for (const char *name : {"frmSelf", "frmNewChat", "frmDirectory", "frmRates", "frmLog"})
        EXPECT_TRUE(find(name)) << name << " is loaded at start-up";
    EXPECT_EQ(find("frmLog")->windowTitle(), "OVELA Log");
    EXPECT_EQ(find("frmDirectory")->windowTitle(), "Online Directories");
    EXPECT_EQ(find("frmNewChat")->windowTitle(), "Text Chat");
    EXPECT_EQ(text("pnlFpsIn"), "0.0");
}

// A settings file that turns quick messages off hides their indicator from the start.
class MessagingDisabledTest : public WindowTest
{
protected:
    void SetUp() override
    {
        QDir().mkpath(folder.path());
        QFile ini(folder.file("ovela.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Messaging]\nDisable=True\n");
        ini.close();
        WindowTest::SetUp();
    }
};

TEST_F(MessagingDisabledTest, TheIncomingMessageIndicatorIsHidden)
{
    ASSERT_TRUE(find("imgMsgIn"));
    EXPECT_TRUE(find("imgMsgIn")->isHidden());
}

TEST_F(WindowTest, DoNotDisturbFromTheMenuAndTheImage)
{
    action("Menu_FileDoNotDisturb")->trigger();
    EXPECT_TRUE(p.signalling().doNotDisturb());
    QTest::mouseClick(find("imgDoNotDisturb"), Qt::LeftButton);
    EXPECT_FALSE(p.signalling().doNotDisturb());
    EXPECT_FALSE(action("Menu_FileDoNotDisturb")->isChecked());
}

TEST_F(WindowTest, TheCallButtonAsksForNameAndEmailFirst)
{
    p.settings().Name = "Al";
    QTest::mouseClick(find("cmdtoolbar_0"), Qt::LeftButton);
    ASSERT_TRUE(find("frmMessage"));
    EXPECT_EQ(text("pnlMessage", "frmMessage"),
              "You must enter a name of at least 3 Characters in length.  ");
    EXPECT_EQ(find("frmMessage")->windowTitle(), "OVELA Information");
    p.settings().Name = "Alan";
    p.settings().EMail = "a@b.c";
    QTest::mouseClick(find("cmdtoolbar_0"), Qt::LeftButton);
    EXPECT_EQ(text("pnlMessage", "frmMessage"),
              "You must enter an Email Address of at least 8 Characters in length.");
    QTest::mouseClick(in<QPushButton>("frmMessage", "cmdOK"), Qt::LeftButton);
    p.settings().EMail = "alan@example.org";
    QTest::mouseClick(find("cmdtoolbar_0"), Qt::LeftButton);
    EXPECT_TRUE(find("frmDirectory")->isVisible());
}

TEST_F(WindowTest, AnIncomingCallIsAnsweredFromThePromptAndShownOnTheMainWindow)
{
    auto control = RawConnection::connectTo(base);
    control->send("RQC;Ann;Porto;9:05;");
    ASSERT_TRUE(waitUntil([] { return find("frmCallIn") && find("frmCallIn")->isVisible(); }));
    EXPECT_EQ(find("frmCallIn")->windowTitle(), "OVELA Incoming Call...");
    EXPECT_EQ(text("pnlUserName", "frmCallIn"), "Ann");
    EXPECT_EQ(text("pnlUserLocation", "frmCallIn"), "Porto");
    EXPECT_EQ(text("lblCallMessage"), "Would you like to accept this call?");
    EXPECT_EQ(in<QCheckBox>("frmCallIn", "chkAutoAccept")->text(), "Auto Accept");
    QTest::mouseClick(find<QPushButton>("cmdCallYes"), Qt::LeftButton);
    ASSERT_TRUE(control->waitFor("RRS;YES;Cleo;Lisbon;"));
    EXPECT_FALSE(find("frmCallIn")->isVisible());

    auto media = RawConnection::connectTo(quint16(base + 1));
    ASSERT_TRUE(waitUntil([] { return text("lblcmd_0") == "HangUp"; }));
    EXPECT_FALSE(action("Menu_FileCall")->isEnabled());
    EXPECT_TRUE(action("Menu_FileHangup")->isEnabled());
    EXPECT_FALSE(find("imgQvidLogo")->isVisible());
    EXPECT_EQ(find("frmNewChat")->windowTitle(), "Text Chat - Ann");
    EXPECT_TRUE(
        find<QPlainTextEdit>("txtIn")->toPlainText().contains("Call: Ann, Time in Porto is 9:05."));
    ASSERT_TRUE(waitUntil([&] { return p.media().clock().displayOn(); }, 3000));

    action("Menu_FileHangup")->trigger();
    EXPECT_TRUE(media->waitClosed());
    EXPECT_EQ(text("lblcmd_0"), "Call");
    EXPECT_TRUE(action("Menu_FileCall")->isEnabled());
    EXPECT_EQ(find("frmNewChat")->windowTitle(), "Text Chat");
    EXPECT_TRUE(find<QPlainTextEdit>("txtIn")->toPlainText().endsWith("<End of Connection>\n"));
    EXPECT_FALSE(p.media().clock().displayOn());
}

TEST_F(WindowTest, ABusyCallerIsShownOnTheBusyNotice)
{
    auto first = RawConnection::connectTo(base);
    first->send("RQC;Ann;Porto;9:05;");
    ASSERT_TRUE(waitUntil([&] { return p.incoming().promptOpen(); }));
    auto second = RawConnection::connectTo(base);
    second->send("RQC;Bo;Rome;9:06;");
    ASSERT_TRUE(
        waitUntil([] { return find("frmBusyNotify") && find("frmBusyNotify")->isVisible(); }));
    auto *notice = find("frmBusyNotify");
    EXPECT_EQ(notice->findChild<QLabel *>("pnlUserName")->text(), "Bo");
    EXPECT_EQ(notice->findChild<QLabel *>("lblBusy")->text(),
              "A Busy signal is being sent to this Person");
}

TEST_F(WindowTest, CallingFromTheDirectoryWindowShowsProgressUntilCancelled)
{
    const quint16 peerPort = freeBasePort();
    RawListener peer(peerPort);
    action("Menu_FileCall")->trigger();
    auto *address = find<QLineEdit>("txtConnectID");
    auto *call = find<QPushButton>("cmdCall");
    ASSERT_TRUE(address && call);
    EXPECT_FALSE(call->isEnabled());
    QTest::keyClicks(address, "127.0.0.1;");
    EXPECT_EQ(address->text(), "127.0.0.1") << "';' is refused at the keyboard";
    EXPECT_TRUE(call->isEnabled());
    // Without a port the call goes to 2000; this test's callee waits elsewhere.
    QTest::keyClicks(address, QStringLiteral(":%1").arg(peerPort));
    QTest::mouseClick(call, Qt::LeftButton);
    ASSERT_TRUE(find("frmConStatus")->isVisible());
    EXPECT_EQ(find("frmConStatus")->windowTitle(), "Connecting...");
    EXPECT_EQ(text("pnlConStatus"), "Establishing Connection...");
    ASSERT_TRUE(peer.waitForConnection());
    ASSERT_TRUE(waitUntil([] { return text("pnlConStatus") == "Connection Made...Requesting"; }));
    ASSERT_TRUE(waitUntil([] { return text("pnlSecond") == "1 sec"; }, 3000));
    EXPECT_FALSE(find("pnlReason")->isVisible());
    QTest::mouseClick(find<QPushButton>("cmdCancel"), Qt::LeftButton);
    EXPECT_FALSE(find("frmConStatus")->isVisible());
    EXPECT_EQ(p.session().callState(), CallStates::Cancelled);

    // A failed call keeps the status text and says why under it.
    QTest::mouseClick(call, Qt::LeftButton);
    RawConnection *callee = peer.waitForConnection();
    ASSERT_TRUE(callee && callee->waitFor("RQC;"));
    callee->send("BSY");
    ASSERT_TRUE(waitUntil([] { return text("pnlConStatus") == "Busy"; }));
    EXPECT_TRUE(find("pnlReason")->isVisible());
    EXPECT_EQ(text("pnlReason"), "The person at 127.0.0.1 is in another call: try again later.");
    QTest::mouseClick(find<QPushButton>("cmdCancel"), Qt::LeftButton);
}

TEST_F(WindowTest, TheDirectoryWindowListsPalsTakesNewOnesAndKeepsItsSize)
{
    p.settings().DirAddress.clear();
    action("Menu_FileCall")->trigger();
    QWidget *window = find("frmDirectory");
    ASSERT_TRUE(window && window->isVisible());
    for (const char *name : {"cboDirectory", "lstGlobal", "lstOnline", "lstOffline", "txtConnectID",
                             "txtConnect", "cmdCall", "cmdSendMsg", "cmdRefresh", "cmdNewPal",
                             "cmdDeletePal", "cmdClose", "barStatus", "splMain", "lblAddress"})
        EXPECT_TRUE(window->findChild<QWidget *>(name)) << name;
    EXPECT_EQ(text("lblGlobal"), "Global Directory");
    EXPECT_EQ(text("lblPeople"), "OVELA Pals");
    auto *global = find<QTreeWidget>("lstGlobal");
    EXPECT_EQ(global->headerItem()->text(2), "Comment");
    p.directoryModel().activated(); // as the window manager's activation does
    EXPECT_EQ(text("barStatus_2"), "Type in IP Address for Connection");
    EXPECT_EQ(window->width(), Twips::toPixelsX(8400)) << "the width the settings gave";
    window->resize(Twips::toPixelsX(9000), Twips::toPixelsY(7000));
    EXPECT_EQ(p.settings().DirWidth, 9000) << "kept for the settings written at shutdown";

    QTest::mouseClick(find<QPushButton>("cmdNewPal"), Qt::LeftButton);
    ASSERT_TRUE(find("frmNewPal"));
    EXPECT_EQ(find("frmNewPal")->windowTitle(), "New Pal Entry");
    QStringList texts;
    for (const QLabel *label : find("frmNewPal")->findChildren<QLabel *>())
        texts << label->text();
    EXPECT_TRUE(
        texts.contains("Enter the Email address of the Pal to be Added to your OVELA Pals."));
    QTest::keyClicks(find<QLineEdit>("txtEmail"), "Eve@X.org");
    QTest::mouseClick(in<QPushButton>("frmNewPal", "cmdOK"), Qt::LeftButton);
    auto *offline = find<QTreeWidget>("lstOffline");
    ASSERT_EQ(offline->topLevelItemCount(), 1);
    EXPECT_EQ(offline->topLevelItem(0)->text(0), "Eve@X.org");
    offline->setCurrentItem(offline->topLevelItem(0));
    QTest::mouseClick(find<QPushButton>("cmdDeletePal"), Qt::LeftButton);
    EXPECT_EQ(offline->topLevelItemCount(), 0);

    // The server offers another one: Yes takes it.
    emit p.directoryModel().redirectOffered("dir2.example:2020", "Over there");
    ASSERT_TRUE(find("frmRedirect"));
    EXPECT_EQ(find("frmRedirect")->windowTitle(), "Veltrane Active");
    EXPECT_EQ(text("pnlDesc"), "Over there");
    QTest::mouseClick(in<QPushButton>("frmRedirect", "cmdYes"), Qt::LeftButton);
    EXPECT_EQ(p.settings().DirAddress, "dir2.example");
    EXPECT_EQ(find<QComboBox>("cboDirectory")->currentText(), "dir2.example:2020");
}

TEST_F(WindowTest, AQuickMessageIsOpenedFromTheIndicatorAndRefusedOnReply)
{
    auto sender = RawConnection::connectTo(quint16(base + 2));
    sender->send("MSB;7;Ann;ann@x.org;Porto;10:00;Hello Cleo;<E>");
    ASSERT_TRUE(sender->take("MRN;<E>"));
    sender->send("MSE;<E>");
    ASSERT_TRUE(sender->waitClosed());
    QTest::mouseDClick(find("imgMsgIn"), Qt::LeftButton);
    QWidget *incoming = find("frmMsgIn");
    ASSERT_TRUE(incoming && incoming->isVisible());
    EXPECT_EQ(incoming->windowTitle(), "Incoming Message");
    EXPECT_EQ(text("pnlUserName", "frmMsgIn"), "Ann");
    EXPECT_EQ(find<QPlainTextEdit>("txtMessageIn")->toPlainText(), "Hello Cleo");
    EXPECT_FALSE(find<QPushButton>("cmdPlay")->isEnabled()) << "no clip to play";

    incoming->findChild<QCheckBox *>("chkRefuse")->setChecked(true);
    QTest::mouseClick(incoming->findChild<QPushButton *>("cmdReply"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([] { return find("frmMsgOut") && find("frmMsgOut")->isVisible(); }));
    EXPECT_EQ(find("frmMsgOut")->windowTitle(), "Send Message");
    EXPECT_EQ(text("pnlUserName", "frmMsgOut"), "Ann");
    EXPECT_EQ(p.refuseList().count(), 1) << "refused as the window closed";
    QTest::mouseClick(in<QPushButton>("frmMsgOut", "cmdCancel"), Qt::LeftButton);
}

TEST_F(WindowTest, ClearingTheLogAsksFirst)
{
    action("Menu_ViewLog")->trigger();
    auto *list = find<QListWidget>("lstActivity");
    ASSERT_TRUE(list && find("frmLog")->isVisible());
    p.log().addLogEntry("while shown");
    EXPECT_TRUE(list->item(list->count() - 1)->text().endsWith(": while shown"));
    const int before = list->count();
    QString asked;
    answerNextBox(QMessageBox::No, &asked);
    QTest::mouseClick(in<QPushButton>("frmLog", "cmdClear"), Qt::LeftButton);
    EXPECT_EQ(asked, "Are you sure you want to clear the Activity log?");
    EXPECT_EQ(list->count(), before);
    answerNextBox(QMessageBox::Yes, &asked);
    QTest::mouseClick(in<QPushButton>("frmLog", "cmdClear"), Qt::LeftButton);
    EXPECT_EQ(list->count(), 0);
    in<QPushButton>("frmLog", "cmdClose")->click();
    EXPECT_FALSE(find("frmLog")->isVisible());
    EXPECT_TRUE(find("frmLog")) << "closing only hides it";
}

TEST_F(WindowTest, OptionsRefuseShortDetailsAndStoreGoodOnes)
{
    action("Menu_ViewOptions")->trigger();
    auto *name = find<QLineEdit>("txtName");
    ASSERT_TRUE(name);
    EXPECT_EQ(find("frmOptions")->windowTitle(), "OVELA Properties");
    name->setText("  Al  ");
    in<QPushButton>("frmOptions", "cmdClose")->click();
    EXPECT_EQ(text("pnlMessage", "frmMessage"),
              "You must enter a name of at least 3 Characters in length.");
    EXPECT_TRUE(find("frmOptions")->isVisible());
    name->setText("Ali");
    QTest::keyClicks(find<QLineEdit>("txtComment"), "a;b");
    EXPECT_EQ(find<QLineEdit>("txtComment")->text(), "ab");
    in<QCheckBox>("frmOptions", "chkAutoAccept")->setChecked(true);
    in<QPushButton>("frmOptions", "cmdClose")->click();
    QApplication::processEvents();
    EXPECT_EQ(p.settings().Name, "Ali");
    EXPECT_EQ(p.settings().Comment, "ab");
    EXPECT_TRUE(p.settings().AutoAccept);
}

TEST_F(WindowTest, ChatLinesTypedWithEnterAreEchoedAndQueued)
{
    windows.showChat(true);
    auto *out = find<QPlainTextEdit>("txtOut");
    QTest::keyClicks(out, "hello there");
    QTest::keyClick(out, Qt::Key_Return);
    EXPECT_TRUE(out->toPlainText().isEmpty());
    EXPECT_TRUE(find<QPlainTextEdit>("txtIn")->toPlainText().endsWith("> hello there\n"));
    EXPECT_EQ(p.media().textQueue().oldest(), "hello there");
    EXPECT_TRUE(action("Menu_ViewChat")->isChecked());
    find("frmNewChat")->close();
    EXPECT_FALSE(action("Menu_ViewChat")->isChecked());
    EXPECT_TRUE(find("frmNewChat"));
}

TEST_F(WindowTest, RealTimeChatSendsEveryKeyThePaneShows)
{
    windows.showChat(true);
    p.session().setCapabilities(true, true);
    QStringList sent;
    QObject::connect(&p.chat(), &ChatConversation::textToSend,
                     [&](const QByteArray &line) { sent << QString::fromUtf8(line); });
    auto *out = find<QPlainTextEdit>("txtOut");
    QTest::keyClicks(out, "a\tb");
    EXPECT_EQ(out->toPlainText(), "a\tb");
    EXPECT_EQ(sent, (QStringList{"Ta;<E>", "T\t;<E>", "Tb;<E>"}))
        << "the peer's pane gets the same";
}

TEST_F(WindowTest, ClosingIsRefusedOnlyWhileAConnectionIsBeingEstablished)
{
    p.session().placing();
    windows.mainWindow()->close();
    EXPECT_TRUE(windows.mainWindow()->isVisible());
    EXPECT_FALSE(program.shutDownDone());
    EXPECT_EQ(text("pnlMessage", "frmMessage"),
              "You must cancel the connection that is being established before exiting.");
    p.session().busy();
    windows.mainWindow()->close();
    EXPECT_TRUE(program.shutDownDone());
    EXPECT_TRUE(p.log().entries().last().endsWith(": OVELA Power Down"));
}

TEST_F(WindowTest, TalkIsHeldWithTheLeftButtonAndLatchedWithTheRightOne)
{
    ASSERT_TRUE(p.media().audio().available()) << "the scripted speaker is a device";

    QWidget *talk = find("cmdtoolbar_4");
    QTest::mousePress(talk, Qt::LeftButton);
    EXPECT_EQ(p.media().audio().microphoneOn(), true);
    QTest::mouseRelease(talk, Qt::LeftButton);
    EXPECT_EQ(p.media().audio().microphoneOn(), false);
    QTest::mousePress(talk, Qt::RightButton);
    QTest::mouseRelease(talk, Qt::RightButton);
    EXPECT_EQ(p.media().audio().microphoneOn(), true) << "latched on";
    QTest::mousePress(talk, Qt::RightButton);
    EXPECT_EQ(p.media().audio().microphoneOn(), false) << "and off again";
}

// The drawing surface turns the engine's bottom-up BGR pictures the right way up with their
// colours, keeps a picture handed out whole while new ones arrive, and follows a change of size.
TEST(VideoSurfaceTest, PicturesAreUprightInTheirColoursAndSharedCopiesStay)
{
    VideoSurface surface;
    // Two rows of two pixels, bottom row first: blue, green / red, white.
    const uint8_t first[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    surface.drawPicture(first, 2, 2);
    const QImage held = surface.lastPicture();
    ASSERT_EQ(held.size(), QSize(2, 2));
    EXPECT_EQ(held.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(held.pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(held.pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(held.pixel(1, 1), qRgb(0, 255, 0));

    const uint8_t grey[12] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    for (int i = 0; i < 3; ++i)
        surface.drawPicture(grey, 2, 2);
    EXPECT_EQ(surface.lastPicture().pixel(0, 0), qRgb(9, 9, 9));
    EXPECT_EQ(held.pixel(0, 0), qRgb(255, 0, 0)) << "a picture handed out is not drawn over";

    // A row long enough to be converted several pixels at a time, and its ragged end.
    uint8_t wide[11 * 3];
    for (int i = 0; i < 33; ++i)
        wide[i] = uint8_t(i + 1);
    surface.drawPicture(wide, 11, 1);
    const QImage row = surface.lastPicture();
    ASSERT_EQ(row.size(), QSize(11, 1));
    for (int x = 0; x < 11; ++x)
        EXPECT_EQ(row.pixel(x, 0), qRgb(3 * x + 3, 3 * x + 2, 3 * x + 1)) << "pixel " << x;
    surface.clear();
    EXPECT_EQ(surface.lastPicture().size(), QSize(11, 1)) << "the picture before clear() stays";

    // A picture shown at half its size is halved as it is taken: each pixel the mean of its 2 x 2
    // block (rows first, then pixels, rounding up), upright, in groups and in the ragged end.
    uint8_t big[22 * 4 * 3];
    for (size_t i = 0; i < sizeof big; ++i)
        big[i] = uint8_t(i * 37 + i / 7);
    const auto at = [&](int x, int yTop, int c) {
        return unsigned(big[((3 - yTop) * 22 + x) * 3 + c]);
    };
    const auto mean = [](unsigned p, unsigned q) { return (p + q + 1) / 2; };
    surface.drawPictureScaled(big, 22, 4, 11, 2);
    const QImage half = surface.lastPicture();
    ASSERT_EQ(half.size(), QSize(11, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 11; ++x) {
            unsigned rgb[3];
            for (int c = 0; c < 3; ++c)
                rgb[c] = mean(mean(at(2 * x, 2 * y, c), at(2 * x, 2 * y + 1, c)),
                              mean(at(2 * x + 1, 2 * y, c), at(2 * x + 1, 2 * y + 1, c)));
            EXPECT_EQ(half.pixel(x, y), qRgb(int(rgb[2]), int(rgb[1]), int(rgb[0])))
                << "pixel " << x << ", " << y;
        }
    surface.drawPictureScaled(big, 22, 4, 10, 2);
    EXPECT_EQ(surface.lastPicture().size(), QSize(22, 4)) << "other sizes are scaled when painted";
}

TEST(WindowPlacementTest, AWindowIsMovedBackOntoTheScreenByTheLeastDistance)
{
    const QRect screen(0, 0, 800, 600);
    const struct {
        QRect frame;
        QPoint kept;
    } cases[] = {
        {{100, 100, 200, 150}, {100, 100}}, // inside: stays
        {{700, 100, 200, 150}, {600, 100}}, // past the right edge
        {{-30, 500, 200, 150}, {0, 450}},   // past the left and the bottom edges
        {{600, 0, 200, 150}, {600, 0}},     // touching the right edge
        {{50, 50, 900, 700}, {0, 0}},       // larger than the screen: top left on it
    };
    for (const auto &c : cases)
        EXPECT_EQ(keptInside(c.frame, screen), c.kept) << c.frame.x() << "," << c.frame.y();
    EXPECT_EQ(keptInside({1700, 10, 200, 150}, {1024, 0, 800, 600}), QPoint(1624, 10));
}
