// The options dialog and the main window's shell, offscreen: the dialog's controls and what acts
// at once, the close box, the toolbar's hover and push-to-talk, menus and shortcuts, zoom,
// minimising, and help.
#include "shell/mainwindowmodel.h"
#include "shell/ui/mainwindow.h"
#include "widgets/twips.h"
#include "windowtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEnterEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>

namespace
{

QWidget *openOptions()
{
    action("Menu_ViewOptions")->trigger();
    return find("frmOptions");
}

void hover(QWidget *w, bool enter)
{
    if (enter) {
        QEnterEvent event(QPointF(1, 1), QPointF(1, 1), w->mapToGlobal(QPointF(1, 1)));
        QApplication::sendEvent(w, &event);
    } else {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(w, &event);
    }
}

QFrame::Shape bevelShape(const char *name)
{
    return find<QFrame>(name)->frameShape();
}

} // namespace

TEST_F(WindowTest, TheOptionsDialogHasEveryControlOnItsFiveTabs)
{
    QWidget *dialog = openOptions();
    ASSERT_TRUE(dialog);
    auto *tabs = dialog->findChild<QTabWidget *>("tabProperties");
    ASSERT_TRUE(tabs);
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        titles << tabs->tabText(i);
    EXPECT_EQ(titles, (QStringList{"Personal", "General", "Video", "Audio", "Messaging"}));
    for (const char *name :
         {"txtName",        "txtEmail",       "txtLocation",    "txtComment",    "txtDirAddress",
          "chkShowOnList",  "chkAutoAccept",  "chkSendWelcome", "txtWelcomeMsg", "chkRealChat",
          "chkSaveWinPos",  "chkMoveAllWin",  "chkRememberWin", "cboVidDevice",  "cmdVidDisplay",
          "cmdVidFormat",   "cmdVidSource",   "pnlVidxSize",    "pnlVidySize",   "pnlBitCount",
          "pnlVidCompress", "optQualityHigh", "optQualityLow",  "chkImageMsg",   "txtImageMsg",
          "cmdAudioRec",    "cmdAudioStop",   "cmdAudioPlay",   "pbrAudioTest",  "optPhoneQ",
          "optRadioQ",      "Slider1",        "Slider2",        "lstRefuse",     "cmdRemoveRefuse",
          "chkQMDisable",   "cmdClose"})
        EXPECT_TRUE(dialog->findChild<QWidget *>(name)) << name;
    // Without a camera the device box says so and the quality cannot be chosen; the engine's
    // cameras have no dialogs of their own.
    const bool camera = p.media().video().captureAvailable();
    if (p.media().video().drivers().isEmpty()) {
        EXPECT_EQ(in<QComboBox>("frmOptions", "cboVidDevice")->currentText(),
                  "Video device not present, or disfunctional");
    }
    EXPECT_EQ(in<QWidget>("frmOptions", "optQualityLow")->isEnabled(), camera);
    EXPECT_FALSE(in<QWidget>("frmOptions", "cmdVidFormat")->isEnabled());
    EXPECT_FALSE(in<QWidget>("frmOptions", "txtImageMsg")->isEnabled());
    in<QCheckBox>("frmOptions", "chkImageMsg")->setChecked(true);
    EXPECT_TRUE(in<QWidget>("frmOptions", "txtImageMsg")->isEnabled());
}

TEST_F(WindowTest, SomeOptionsActAtOnceAndTheCloseBoxForgetsTheRest)
{
    p.refuseList().entries = {{7, "Spam", "spam@x.org"}, {8, "Leo", "leo@x.org"}};
    QWidget *dialog = openOptions();
    ASSERT_TRUE(dialog);
    in<QRadioButton>("frmOptions", "optRadioQ")->click();
    EXPECT_EQ(p.media().audio().mode, AudioPath::RadioQuality) << "at once, without Close";
    auto *refuse = in<QTreeWidget>("frmOptions", "lstRefuse");
    ASSERT_EQ(refuse->topLevelItemCount(), 2);
    in<QPushButton>("frmOptions", "cmdRemoveRefuse")->click();
    EXPECT_EQ(p.refuseList().count(), 2) << "nothing selected, nothing removed";
    refuse->setCurrentItem(refuse->topLevelItem(0));
    in<QPushButton>("frmOptions", "cmdRemoveRefuse")->click();
    ASSERT_EQ(p.refuseList().count(), 1);
    EXPECT_EQ(p.refuseList().entries[0].Name, "Leo");
    EXPECT_EQ(refuse->topLevelItemCount(), 1);

    in<QLineEdit>("frmOptions", "txtLocation")->setText("Faro");
    in<QCheckBox>("frmOptions", "chkAutoAccept")->setChecked(true);
    dialog->close();
    QApplication::processEvents();
    EXPECT_EQ(p.settings().Location, "Lisbon") << "the close box stores no text";
    EXPECT_FALSE(p.settings().AutoAccept);
    EXPECT_EQ(p.media().audio().mode, AudioPath::RadioQuality);
    EXPECT_EQ(p.refuseList().count(), 1);
}

TEST_F(WindowTest, TheSelfViewsSettingsButtonOpensTheVideoTab)
{
    openOptions();
    find<QTabWidget>("tabProperties")->setCurrentIndex(0);
    find("frmSelf")->findChild<QPushButton *>("cmdSettings")->click();
    EXPECT_EQ(find<QTabWidget>("tabProperties")->currentIndex(), 2);
    EXPECT_TRUE(find("frmOptions")->isVisible());
}

TEST_F(WindowTest, TheToolbarRaisesTheButtonUnderTheMouseAndLeavesSunkenOnesSunken)
{
    windows.showChat(true); // its button is sunken while the window shows
    ASSERT_EQ(bevelShape("cmdtoolbar_3"), QFrame::Panel);
    const int sunken = find<QFrame>("cmdtoolbar_3")->frameShadow();
    hover(find("cmdtoolbar_1"), true);
    EXPECT_EQ(find<QFrame>("cmdtoolbar_1")->frameShadow(), QFrame::Raised);
    EXPECT_TRUE(find<QLabel>("lblcmd_1")->font().bold());
    hover(find("cmdtoolbar_1"), false);
    hover(find("cmdtoolbar_3"), true);
    EXPECT_EQ(bevelShape("cmdtoolbar_1"), QFrame::NoFrame) << "the old one is flat again";
    EXPECT_FALSE(find<QLabel>("lblcmd_1")->font().bold());
    EXPECT_EQ(find<QFrame>("cmdtoolbar_3")->frameShadow(), sunken) << "sunken stays sunken";
    EXPECT_TRUE(find<QLabel>("lblcmd_3")->font().bold());
}

TEST_F(WindowTest, MenusHaveTheirShortcutsAndStates)
{
    struct Entry {
        const char *name, *text, *key;
        bool enabled;
    };
    const Entry entries[] = {
        {"Menu_FileCall", "&Call", "Ctrl+C", true},
        {"Menu_FileHangup", "&Hangup", "Ctrl+H", false},
        {"Menu_FileDoNotDisturb", "&Do Not Disturb", "Ctrl+N", true},
        {"Menu_FileQuit", "&Quit", "Ctrl+Q", true},
        {"Menu_ViewChat", "&Text Chat", "Ctrl+T", true},
        {"Menu_ViewZoomSmall", "&Small (160x120)", "", true},
        {"Menu_ViewZoomNormal", "&Normal (320x240)", "", true},
        {"Menu_ViewLog", "&Log", "", true},
        {"Menu_ViewRates", "&Data Rates", "Ctrl+D", true},
        {"Menu_ViewOptions", "&Options...", "", true},
        {"Menu_HelpContents", "&Contents", "F1", true},
        {"Menu_HelpTopics", "&Help Topics", "", true},
        {"Menu_HelpAbout", "&About...", "", true},
    };
    for (const Entry &e : entries) {
        QAction *a = action(e.name);
        ASSERT_TRUE(a) << e.name;
        EXPECT_EQ(a->text(), e.text) << e.name;
        EXPECT_EQ(a->shortcut(), QKeySequence(QString::fromLatin1(e.key))) << e.name;
        EXPECT_EQ(a->isEnabled(), e.enabled) << e.name;
    }
    // Without a camera the self view cannot be shown.
    EXPECT_EQ(action("Menu_ViewSelf")->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_EQ(action("Menu_ViewSelf")->isEnabled(), p.media().video().captureAvailable());
}

TEST_F(WindowTest, ZoomIsRefusedWhileMinimisedAndMinimisingTakesTheHelpersAlong)
{
    MainWindow *main = windows.mainWindow();
    action("Menu_ViewZoomSmall")->trigger();
    EXPECT_EQ(find("imgVidIn")->size(), QSize(160, 120));
    EXPECT_GE(main->width(), Twips::toPixelsX(MainWindowModel::MinWidthTwips));

    windows.showChat(true);
    windows.showRates();
    main->showMinimized();
    EXPECT_FALSE(find("frmNewChat")->isVisible());
    EXPECT_FALSE(find("frmRates")->isVisible());
    EXPECT_TRUE(action("Menu_ViewChat")->isChecked()) << "the View entry remembers it";
    action("Menu_ViewZoomNormal")->trigger();
    EXPECT_EQ(find("imgVidIn")->size(), QSize(160, 120)) << "no zoom while minimised";

    main->showNormal();
    EXPECT_TRUE(find("frmNewChat")->isVisible());
    EXPECT_FALSE(find("frmRates")->isVisible());
    action("Menu_ViewZoomNormal")->trigger();
    EXPECT_EQ(find("imgVidIn")->size(), QSize(320, 240));
}

TEST_F(WindowTest, HelpOpensAtItsContentsAndAtTheTopicFinder)
{
    action("Menu_HelpContents")->trigger();
    auto *viewer = find("frmHelp");
    ASSERT_TRUE(viewer && viewer->isVisible()) << "the help file is found from the build folder";
    auto *text = viewer->findChild<QTextBrowser *>("txtHelp");
    EXPECT_EQ(text->source().fragment(), "contents");
    EXPECT_TRUE(text->toPlainText().contains("Troubleshooting"));
    auto *topics = viewer->findChild<QTreeWidget *>("lstTopics");
    EXPECT_GE(topics->topLevelItemCount(), 10);

    action("Menu_HelpTopics")->trigger();
    auto *finder = viewer->findChild<QLineEdit *>("txtFind");
    QTest::keyClicks(finder, "camera busy");
    ASSERT_GE(topics->topLevelItemCount(), 1);
    EXPECT_EQ(topics->topLevelItem(0)->text(0), "The camera shows nothing");
    QTest::keyClick(finder, Qt::Key_Return);
    EXPECT_EQ(text->source().fragment(), "trouble-camera");
}
