// The windows' decisions without the windows: the main window's toolbar, push-to-talk and zoom,
// the options' check and what storing them changes, the help file's topics, the command line and
// typed call targets.
#include "calls/linkpacer.h"
#include "platform/helpfile.h"
#include "platform/memorytransport.h"
#include "program/commandline.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <deque>

namespace
{
struct Models : ::testing::Test {
    MemoryNetwork network;
    TestProgram t{&network};
    MainWindowModel &main = t->mainWindow();
    OptionsModel &options = t->options();
    Settings &settings = t->settings();
};
} // namespace

TEST_F(Models, TheCallButtonAsksForNameAndEmailAndTheViewButtonsToggle)
{
    struct Case {
        const char *name, *email;
        const char *message; // shown instead of the directory
    };
    const Case cases[] = {
        {"Al", "al@example.org", "You must enter a name of at least 3 Characters in length.  "},
        {"Alan", "a@b.c", "You must enter an Email Address of at least 8 Characters in length."},
        {"Alan", "alan@example.org", nullptr},
    };
    for (const Case &c : cases) {
        settings.Name = c.name;
        settings.EMail = c.email;
        QSignalSpy directory(&main, &MainWindowModel::directoryRequested);
        t.messages.info.clear();
        main.toolbarCommand(MainWindowModel::CallTool);
        EXPECT_EQ(directory.count(), c.message ? 0 : 1) << c.name << " " << c.email;
        EXPECT_EQ(t.messages.info, c.message ? QStringList{c.message} : QStringList());
    }
    QSignalSpy self(&main, &MainWindowModel::selfViewRequested);
    main.toolbarCommand(MainWindowModel::SelfViewTool);
    main.setSelfViewShown(true);
    main.toolbarCommand(MainWindowModel::SelfViewTool);
    ASSERT_EQ(self.count(), 2);
    EXPECT_TRUE(self[0][0].toBool());
    EXPECT_FALSE(self[1][0].toBool()) << "a shown self view is hidden by its button";
}

TEST_F(Models, TalkIsHeldOrLatched)
{
    QSignalSpy talking(&main, &MainWindowModel::talkingChanged);
    main.talkHeld(true);
    main.talkHeld(false);
    main.talkLatch();
    EXPECT_TRUE(main.talking());
    main.talkLatch();
    EXPECT_FALSE(main.talking());
    ASSERT_EQ(talking.count(), 4);
    // (on, latched) as the button shows them: sunken while on, raised when unlatched.
    EXPECT_EQ(talking[2], (QList<QVariant>{true, true}));
    EXPECT_EQ(talking[3], (QList<QVariant>{false, true}));
}

TEST_F(Models, OptionsAreCheckedStoredAndSayWhatChanged)
{
    settings.DirAddress = "dir.example";
    settings.DirPort = 2010;
    OptionValues v = options.load();
    EXPECT_EQ(v.directory, "dir.example:2010");

    v.name = "  Al  ";
    EXPECT_FALSE(options.apply(v).stored);
    EXPECT_EQ(t.messages.info.last(), "You must enter a name of at least 3 Characters in length.");
    v.name = "Alan";
    v.email = "alan@example.org";
    v.comment = "hi";
    v.welcome = QString(150, 'w');
    OptionsModel::Effects e = options.apply(v);
    EXPECT_TRUE(e.stored);
    EXPECT_FALSE(e.directoryChanged);
    EXPECT_EQ(settings.Name, "Alan");
    EXPECT_EQ(settings.Comment, "hi");
    EXPECT_EQ(settings.WelcomeMsg.size(), OptionsModel::WelcomeLength);

    v.directory = "other.example:2020";
    e = options.apply(v);
    EXPECT_TRUE(e.directoryChanged) << "a new directory means logging in again";
    EXPECT_EQ(settings.DirAddress, "other.example");
    EXPECT_EQ(settings.DirPort, 2020);
    EXPECT_TRUE(options.realTimeChatChangeAllowed(!settings.EnableRTC)) << "no call: allowed";
}

TEST_F(Models, ZoomOnlyInANormalWindow)
{
    struct Case {
        MainWindowModel::Zoom zoom;
        bool normal;
        QSize shown;
    };
    const Case cases[] = {
        {MainWindowModel::Zoom::Small, false, {320, 240}},
        {MainWindowModel::Zoom::Small, true, {160, 120}},
        {MainWindowModel::Zoom::Normal, false, {160, 120}},
        {MainWindowModel::Zoom::Normal, true, {320, 240}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(main.zoom(c.zoom, c.normal), c.normal);
        EXPECT_EQ(main.displaySize(), c.shown);
    }
}

// Close gives the directory the new details: a new login on the open connection, or a connection
// to the new directory, whose login carries them; unchanged details send nothing.
TEST(OptionsDirectory, CloseLogsInAgainWhenTheDetailsOrTheDirectoryChange)
{
    const quint16 first = freeBasePort(), second = freeBasePort();
    RawListener directory{first}, other{second};
    TestProgram t;
    t.start();
    Settings &s = t->settings();
    s.Name = "Cleo";
    s.EMail = "cleo@example.org";
    s.Location = "Lisbon";
    s.DirAddress = "127.0.0.1";
    s.DirPort = qint16(first);
    t->directory().connectDirectory(s.DirAddress, s.DirPort);
    RawConnection *server = directory.waitForConnection();
    ASSERT_TRUE(server && server->take("INT<ET>"));

    OptionsModel &options = t->options();
    OptionValues v = options.load();
    EXPECT_FALSE(options.apply(v).detailsChanged);
    v.location = "Faro";
    EXPECT_TRUE(options.apply(v).detailsChanged);
    ASSERT_TRUE(server->waitFor(";Faro;"));
    // One login only: the unchanged Close before it sent nothing.
    EXPECT_EQ(server->received().count("LGN;"), 1);

    v.directory = QStringLiteral("127.0.0.1:%1").arg(second);
    EXPECT_TRUE(options.apply(v).directoryChanged);
    EXPECT_TRUE(server->waitClosed());
    RawConnection *moved = other.waitForConnection();
    ASSERT_TRUE(moved && moved->waitFor(";Faro;"));
    EXPECT_EQ(s.DirPort, qint16(second));
}

TEST(HelpFileTest, TopicsComeFromHeadingsAndAreFoundByTheirWords)
{
    HelpFile help;
    help.parse(QStringLiteral(
        "<h1 id=\"contents\">Help</h1><p>Start here.</p>"
        "<h2 id=\"calls\">Placing calls</h2><p>Type an address &amp; press Call.</p>"
        "<h3 id=\"busy\">When the line is busy</h3><p>Try <b>later</b>.</p>"
        "<h2>No id, no topic</h2><h2 id=\"camera\">The camera</h2><p>A busy camera.</p>"));
    ASSERT_EQ(help.topics().size(), 3);
    EXPECT_EQ(help.topics()[1].title, "When the line is busy");
    EXPECT_EQ(help.topics()[1].level, 3);
    EXPECT_TRUE(help.topics()[0].text.contains("address & press Call"));
    EXPECT_FALSE(help.topics()[0].text.contains("later")) << "a section's words are its own";

    struct Case {
        const char *query;
        QList<int> found;
    };
    const Case cases[] = {
        {"", {0, 1, 2}},         {"BUSY", {1, 2}}, // the title first, case ignored
        {"camera busy", {2, 1}}, // every word, then as many words as a topic holds
        {"later busy", {1, 2}},  {"fax", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(help.find(QString::fromLatin1(c.query)), c.found) << c.query;
}

TEST(CommandLineTest, AnAddressABasePortAndMistakes)
{
    struct Case {
        QStringList args;
        QString variable;
        QString address;
        quint16 port;
        bool error;
    };
    const Case cases[] = {
        {{}, {}, {}, 2000, false},
        {{"10.0.0.7"}, {}, "10.0.0.7", 2000, false},
        {{"--base-port", "2100", "host:2104"}, {}, "host:2104", 2100, false},
        {{"--base-port=2200"}, "2300", {}, 2200, false},
        {{}, "2300", {}, 2300, false},
        {{}, "twenty", {}, 2000, true},
        {{"--base-port", "0"}, {}, {}, 2000, true},
        {{"--base-port", "32756"}, {}, {}, 2000, true},
        {{"--bogus"}, {}, {}, 2000, true},
        {{"a", "b"}, {}, {}, 2000, true},
        {{"--answer-unattended=friends"}, {}, {}, 2000, true},
        {{"--answer-unattended", "10.0.0.7"}, {}, {}, 2000, true},
        {{"--answer-unattended=everyone", "--base-port", "2100"}, {}, {}, 2100, false},
    };
    for (const Case &c : cases) {
        const CommandLine line = CommandLine::parse(c.args, c.variable);
        const std::string what = (c.args.join(' ') + " / " + c.variable).toStdString();
        EXPECT_EQ(!line.error.isEmpty(), c.error) << what << ": " << line.error.toStdString();
        if (c.error) continue;
        EXPECT_EQ(line.address, c.address) << what;
        EXPECT_EQ(line.basePort, c.port) << what;
    }
    EXPECT_TRUE(CommandLine::parse({"--version"}).version);
    EXPECT_FALSE(CommandLine::parse({}).unattended);
    EXPECT_EQ(CommandLine::parse({"--answer-unattended"}).unattended, AnsweringPolicy::Mode::Pals);
    EXPECT_EQ(CommandLine::parse({"--answer-unattended=List"}).unattended,
              AnsweringPolicy::Mode::List);
}

TEST(CallTargets, AHostWithAnOptionalPort)
{
    struct Case {
        const char *typed, *host;
        quint16 port;
    };
    const Case cases[] = {
        {"10.0.0.7", "10.0.0.7", 2000},
        {" host.example:2104 ", "host.example", 2104},
        {"host:0", "host:0", 2000},
        {"host:70000", "host:70000", 2000},
        {"host:", "host:", 2000},
        {"ann@example.org", "ann@example.org", 2000},
        {"a:b@example.org:5", "a:b@example.org:5", 2000},
    };
    for (const Case &c : cases) {
        QString host;
        quint16 port = 0;
        NetAddress::splitTarget(QString::fromUtf8(c.typed), &host, &port);
        EXPECT_EQ(host, c.host) << c.typed;
        EXPECT_EQ(port, c.port) << c.typed;
    }
}

// The pacer against a simulated link of a given rate: a FIFO drained at that rate, fed on 75 ms
// ticks as the media session feeds it (a picture grabbed on one tick goes on the next; speech
// blocks of 350 bytes every 200 ms while talking). What comes out: pictures a second, the 90%
// delay of pictures from grab to delivery, and of speech from recording to delivery, and the
// quality: lowered as far as allowed on a link that holds pictures back, untouched on a fast one.
TEST(LinkPacer, PicturesFollowTheLinkAndSpeechStaysPrompt)
{
    struct Link {
        int kbit;
        bool talking;
        double minFps, maxFps;
        double pictureP90, speechP90; // ms; 0: not checked
    };
    const Link links[] = {
        {100000, false, 13.3, 13.4, 80, 0}, // loopback: nothing changes
        {1200, false, 13.3, 13.4, 130, 0},  {256, false, 2.0, 5, 400, 0},
        {256, true, 1.0, 5, 0, 400},        {128, true, 0, 3, 0, 400},
    };
    constexpr qint64 picture = 7300, block = 350;
    constexpr int tick = 75;
    for (const Link &link : links) {
        SCOPED_TRACE(std::to_string(link.kbit) + (link.talking ? " kbit/s, talking" : " kbit/s"));
        struct Item {
            qint64 left, since;
            bool picture;
        };
        std::deque<Item> queue;
        std::vector<double> pictureMs, speechMs;
        LinkPacer pacer;
        pacer.setMaximumDrop(6);
        bool grabbed = false;
        int pictures = 0;
        const double perMs = link.kbit * 1000 / 8 / 1000.0;
        const int ticks = 800; // a minute
        for (int n = 0; n < ticks; ++n) {
            const qint64 now = qint64(n) * tick;
            qint64 waiting = 0;
            for (const Item &i : queue)
                waiting += i.left;
            pacer.observe(waiting, tick, link.talking);
            if (link.talking && n % 3 == 0) { // a block every 200 ms or so
                queue.push_back({block, now, false});
                pacer.sent(block, false);
            }
            if (grabbed && pacer.pictureAllowed()) {
                queue.push_back({picture, now - tick, true});
                pacer.sent(picture, true);
                ++pictures;
            }
            grabbed = pacer.pictureAllowed();
            // The link carries until the next tick.
            double budget = perMs * tick, used = 0;
            while (!queue.empty() && budget - used >= 1) {
                const qint64 take = std::min<qint64>(queue.front().left, qint64(budget - used));
                queue.front().left -= take;
                used += double(take);
                if (queue.front().left > 0) break;
                (queue.front().picture ? pictureMs : speechMs)
                    .push_back(double(now) + used / perMs - double(queue.front().since));
                queue.pop_front();
            }
        }
        const double fps = pictures / (ticks * tick / 1000.0);
        EXPECT_GE(fps, link.minFps);
        EXPECT_LE(fps, link.maxFps);
        auto p90 = [](std::vector<double> v) {
            if (v.empty()) return 0.0;
            std::sort(v.begin(), v.end());
            return v[v.size() * 9 / 10];
        };
        EXPECT_LE(p90(pictureMs), link.pictureP90 > 0 ? link.pictureP90 : 1e9);
        EXPECT_LE(p90(speechMs), link.speechP90 > 0 ? link.speechP90 : 1e9);
        EXPECT_GE(speechMs.size(), link.talking ? size_t(ticks / 3 - 5) : 0u) << "all speech";
        EXPECT_EQ(pacer.qualityDrop(), link.kbit < 1000 ? 6 : 0) << "lower quality while held";
    }
}
