// The settings file, the pal and refuse lists, the activity log and the call keys: what lands in
// the files and what comes back from them.
#include "platform/tlsidentity.h"
#include "testsupport.h"
#include "userdata/activitylog.h"
#include "userdata/lists.h"
#include "userdata/peerkeys.h"
#include "userdata/settings.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace
{

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(SettingsFile, MissingFileGivesDefaultsAndSavingWritesEveryKey)
{
    ScratchFolder dir;
    const QString ini = dir.file("cfg/ovela.ini");
    Settings s;
    s.Name = "changed";
    loadSettings(ini, s);
    EXPECT_EQ(s.Name, "");
    EXPECT_EQ(s.DirPort, 2010);
    EXPECT_EQ(s.AutoDecTime, 20);
    EXPECT_EQ(s.WelcomeMsg, "I can SEE you Too!");
    EXPECT_EQ(s.ImageMsg, "I like OVELA");
    EXPECT_TRUE(s.ShowOnList);
    EXPECT_FALSE(s.AutoAccept);
    EXPECT_EQ(s.DirWidth, 8400);

    ASSERT_TRUE(saveSettings(ini, s));
    const QString text = QString::fromUtf8(readAll(ini));
    EXPECT_EQ(text.count('='), 29);
    for (const char *line : {"DirPort=2010\n", "ChatFontSize= 9\n", "AutoDecTime= 20\n",
                             "VSpeedLow=True\n", "ShowOnList=True\n", "DirWidth= 8400\n",
                             "WinPosLeft= 0\n", "DriverNum=0\n", "[Personal]\nName=\n"})
        EXPECT_TRUE(text.contains(QLatin1String(line))) << line;
    EXPECT_LT(text.indexOf("[Personal]"), text.indexOf("[Messaging]"));
    EXPECT_LT(text.indexOf("[Calling]"), text.indexOf("[Windows]"));
}

TEST(SettingsFile, RoundTripKeepsEveryValueAndForeignLines)
{
    ScratchFolder dir;
    const QString ini = dir.file("ovela.ini");
    // Line ends converted twice ("\r\r\n"), and a last line of carriage returns.
    writeFile(ini, "; kept comment\r\r\n[Other]\r\nx=1\r\n\r\r");
    Settings s;
    s.Name = "Ana Lee";
    s.EMail = "ana@example.org";
    s.Location = "Porto";
    s.ShowOnList = false;
    s.DirAddress = "";
    s.DirPort = -5;
    s.AutoAccept = true;
    s.AutoDecTime = 7;
    s.WinPosLeft = -120;
    s.ChatFontSize = 12;
    s.MessagingDisable = true;
    ASSERT_TRUE(saveSettings(ini, s));
    Settings back;
    loadSettings(ini, back);
    EXPECT_EQ(back.Name, "Ana Lee");
    EXPECT_EQ(back.EMail, "ana@example.org");
    EXPECT_EQ(back.Location, "Porto");
    EXPECT_FALSE(back.ShowOnList);
    EXPECT_EQ(back.DirAddress, "") << "an emptied directory address stays empty";
    EXPECT_EQ(back.DirPort, -5);
    EXPECT_TRUE(back.AutoAccept);
    EXPECT_EQ(back.AutoDecTime, 7);
    EXPECT_EQ(back.WinPosLeft, -120);
    EXPECT_EQ(back.ChatFontSize, 12);
    EXPECT_TRUE(back.MessagingDisable);
    const QByteArray text = readAll(ini);
    EXPECT_TRUE(text.startsWith("; kept comment\n[Other]\nx=1\n\n[Personal]"));
    EXPECT_TRUE(text.contains("WinPosLeft=-120\n"));
    ASSERT_TRUE(saveSettings(ini, back));
    EXPECT_EQ(readAll(ini), text) << "saving what was read gives the same file";
}

TEST(SettingsFile, ValuesAreReadAsTheFileWasAlwaysRead)
{
    ScratchFolder dir;
    const QString ini = dir.file("ovela.ini");
    const QString longWelcome(120, 'w');
    const QString longComment(60, 'c');
    writeFile(ini, ("[personal]\nshowonlist=true\nDirPort=abc\nComment=" + longComment.toUtf8() +
                    "\n[Calling]\nAutoDecTime=15s\nWelcomeMsg=" + longWelcome.toUtf8() +
                    "\nEnableRTC=TRUE\nSendWelcome=NotTrue\n[Windows]\nChatFontSize=  11.5\n"
                    "WinPosTop=99999\n"));
    Settings s;
    loadSettings(ini, s);
    EXPECT_FALSE(s.ShowOnList) << "only the exact text True counts";
    EXPECT_EQ(s.DirPort, 0);
    EXPECT_EQ(s.AutoDecTime, 15);
    EXPECT_EQ(s.WelcomeMsg, QString(99, 'w'));
    EXPECT_EQ(s.Comment, QString(49, 'c'));
    EXPECT_FALSE(s.EnableRTC);
    EXPECT_TRUE(s.SendWelcome) << "any value containing True reads as true";
    EXPECT_EQ(s.ChatFontSize, 12) << "rounded half to even";
    EXPECT_EQ(s.WinPosTop, 32767) << "clamped, not wrapped";
}

TEST(SettingsFile, AWriteThatCannotHappenIsReportedAndChangesNothing)
{
    ScratchFolder dir;
    writeFile(dir.file("blocker"), "a file where a folder should be");
    Settings s;
    QString why;
    EXPECT_FALSE(saveSettings(dir.file("blocker/ovela/ovela.ini"), s, &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(readAll(dir.file("blocker")), "a file where a folder should be");
}

TEST(PalFile, SavedAsNameAndEmailLinesAndReadBack)
{
    ScratchFolder dir;
    PalList pals;
    loadPalFile(pals);
    EXPECT_EQ(pals.count(), 0);
    ASSERT_TRUE(pals.add("Bo.Smith@Mail.COM", "Bo.Smith@Mail.COM"));
    ASSERT_TRUE(pals.add("Eve", "eve@x.org"));
    ASSERT_FALSE(writePalFile(pals));
    EXPECT_EQ(readAll("ovela.pal"),
              "Bo.Smith@Mail.COM\r\nbo.smith@mail.com\r\nEve\r\neve@x.org\r\n");

    PalList back;
    loadPalFile(back);
    ASSERT_EQ(back.count(), 2);
    EXPECT_EQ(back.entries[1].Name, "Eve");
    EXPECT_EQ(back.entries[0].Status, 1);
    EXPECT_EQ(back.PalCheckPos, 2);

    back.remove(1);
    ASSERT_EQ(back.count(), 1);
    EXPECT_EQ(back.entries[0].EMail, "eve@x.org");
}

TEST(PalFile, CutShortAndOverfullFiles)
{
    ScratchFolder dir;
    writeFile("ovela.pal", "Ann\nann@x.org\nBob");
    PalList pals;
    loadPalFile(pals);
    ASSERT_EQ(pals.count(), 2);
    EXPECT_EQ(pals.entries[1].Name, "Bob");
    EXPECT_EQ(pals.entries[1].EMail, "");

    QByteArray many;
    for (int i = 0; i < 230; ++i)
        many += "p" + QByteArray::number(i) + "\r\nmail" + QByteArray::number(i) + "\r\n";
    writeFile("ovela.pal", many);
    loadPalFile(pals);
    EXPECT_EQ(pals.count(), 200);
    EXPECT_FALSE(pals.add("one more", "x@y.z"));
}

TEST(RefuseFile, IdsAreWrittenAsNumericLinesAndReadByValue)
{
    ScratchFolder dir;
    RefuseList list;
    list.add({17, "Ann", "ann@x.org"});
    list.add({-1, "Neg", "neg@x.org"});
    ASSERT_FALSE(writeRefuseList(list));
    EXPECT_EQ(readAll("refuse.dat"), " 17 \r\nAnn\r\nann@x.org\r\n-1 \r\nNeg\r\nneg@x.org\r\n");
    RefuseList back;
    loadRefuseList(back);
    ASSERT_EQ(back.count(), 2);
    EXPECT_EQ(back.entries[0].ID, 17);
    EXPECT_EQ(back.entries[1].ID, -1);
    EXPECT_TRUE(back.refuses(-1));
    EXPECT_FALSE(back.refuses(18));
}

TEST(RefuseFile, OnlyTwoHundredEntriesAreKept)
{
    ScratchFolder dir;
    QByteArray many;
    for (int i = 0; i < 250; ++i)
        many += " " + QByteArray::number(i) + " \r\nn\r\ne\r\n";
    writeFile("refuse.dat", many);
    RefuseList list;
    loadRefuseList(list);
    EXPECT_EQ(list.count(), 200);
    EXPECT_EQ(list.entries.back().ID, 199);
    EXPECT_FALSE(list.add({999, "x", "y"}));
    ASSERT_FALSE(writeRefuseList(list));
    loadRefuseList(list);
    EXPECT_EQ(list.count(), 200);
}

TEST(ActivityLog, EntriesAreStampedKeptInOrderAndReachTheFileAsTheyHappen)
{
    ScratchFolder dir;
    writeFile("ovela.log", "old one\r\nold two\n");
    ActivityLog log;
    EXPECT_TRUE(log.loadActivityLog());
    const QDateTime when(QDate(2026, 12, 8), QTime(14, 5, 9));
    log.addAt(when, "Placed call to 10.0.0.2");
    ASSERT_EQ(log.entries().size(), 3);
    const QString line = log.entries().last();
    EXPECT_TRUE(line.startsWith(ActivityLog::stamp(when) + ": ")) << line.toStdString();
    EXPECT_TRUE(line.endsWith(": Placed call to 10.0.0.2"));
    EXPECT_TRUE(ActivityLog::stamp(when).contains("05:09") ||
                ActivityLog::stamp(when).contains("5:09"));
    EXPECT_EQ(readAll("ovela.log"), "old one\r\nold two\n" + line.toUtf8() + "\r\n")
        << "an entry is in the file as soon as it is added, so a crash loses none";
    ASSERT_FALSE(log.saveActivityLog());
    EXPECT_TRUE(readAll("ovela.log").startsWith("old one\r\nold two\r\n"));
    log.clear();
    EXPECT_EQ(readAll("ovela.log"), "");

    // A last line without its line end (a program killed while writing it) stays a line.
    writeFile("ovela.log", "whole\r\ncut sho");
    ActivityLog again;
    again.loadActivityLog();
    again.addLogEntry("next");
    EXPECT_EQ(readAll("ovela.log"),
              "whole\r\ncut sho\r\n" + again.entries().last().toUtf8() + "\r\n");
}

TEST(ActivityLog, ClearAndTheBoundOnItsLength)
{
    ActivityLog log;
    int resets = 0;
    QObject::connect(&log, &ActivityLog::reset, [&] { ++resets; });
    for (int i = 0; i < ActivityLog::MaxEntries + 5; ++i)
        log.addLogEntry(QString::number(i));
    EXPECT_EQ(log.entries().size(), ActivityLog::TrimmedEntries + 4);
    EXPECT_TRUE(log.entries().first().endsWith(": 1001"));
    EXPECT_EQ(resets, 1) << "the oldest lines go in one block";

    // A log with its file: what leaves it moves to the older file, which keeps the newest
    // MaxEntries of them, so the two files always hold an unbroken run of the latest lines.
    ScratchFolder dir;
    ActivityLog kept;
    kept.loadActivityLog();
    const int added = 3 * ActivityLog::MaxEntries + 7;
    for (int i = 0; i < added; ++i)
        kept.addLogEntry(QString::number(i));
    QStringList lines, older;
    ASSERT_TRUE(TextFile::readLines(ActivityLog::FileName, &lines));
    ASSERT_TRUE(TextFile::readLines(ActivityLog::FileName + ActivityLog::OlderSuffix, &older));
    EXPECT_EQ(lines, kept.entries());
    EXPECT_EQ(older.size(), ActivityLog::MaxEntries);
    const QStringList both = older + lines;
    for (int i = 0; i < both.size(); ++i)
        ASSERT_TRUE(both[i].endsWith(": " + QString::number(added - both.size() + i))) << i;

    // Clear empties the log and leaves the older part.
    kept.clear();
    EXPECT_TRUE(kept.entries().isEmpty());
    EXPECT_EQ(readAll("ovela.log"), "");
    QStringList olderAfter;
    TextFile::readLines(ActivityLog::FileName + ActivityLog::OlderSuffix, &olderAfter);
    EXPECT_EQ(olderAfter, older);
}

TEST(ActivityLog, SaveFailureIsReportedWithNumberAndText)
{
    ScratchFolder dir;
    QDir().mkdir("ovela.log"); // a folder where the file should be
    ActivityLog log;
    log.addLogEntry("x");
    const FileError e = log.saveActivityLog();
    ASSERT_TRUE(bool(e));
    EXPECT_TRUE(e.message(ActivityLog::SaveFailure).startsWith("Could not save Log File, "));
    EXPECT_TRUE(e.message("p").contains(" : "));
}

TEST(CallKeyFile, MadeOnceKeptPrivateAndADamagedOneSetAsideForANewKey)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(TlsIdentity::FileName);
    QString note;
    const TlsIdentity first = TlsIdentity::loadOrCreate(path, &note);
    ASSERT_TRUE(first.valid()) << note.toStdString();
    EXPECT_TRUE(note.startsWith("Made this program's call key"));
    EXPECT_EQ(QFile(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
              QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(TlsIdentity::loadOrCreate(path, &note).keyId(), first.keyId()) << "read again";
    EXPECT_TRUE(note.isEmpty());

    // A key file cut short (a crash of another writer, a bad disk) is kept aside, never lost.
    const QByteArray whole = readAll(path);
    writeFile(path, whole.left(whole.size() / 2));
    const TlsIdentity second = TlsIdentity::loadOrCreate(path, &note);
    ASSERT_TRUE(second.valid());
    EXPECT_NE(second.keyId(), first.keyId());
    EXPECT_TRUE(note.contains("set aside")) << note.toStdString();
    EXPECT_EQ(readAll(path + ".damaged"), whole.left(whole.size() / 2));

    // The code is the same from either side and differs for another pair of keys.
    const QString code = TlsIdentity::shortCode(first.keyId(), second.keyId());
    EXPECT_TRUE(QRegularExpression("^\\d{3} \\d{3}$").match(code).hasMatch()) << code.toStdString();
    EXPECT_EQ(TlsIdentity::shortCode(second.keyId(), first.keyId()), code);
    EXPECT_NE(TlsIdentity::shortCode(first.keyId(), first.keyId()), code);
}

TEST(RememberedKeys, ReadBackByNameWithDamagedLinesSkipped)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(PeerKeys::FileName);
    const QByteArray ana(32, 'a'), bo(32, 'b');
    {
        PeerKeys keys(path);
        EXPECT_FALSE(keys.remember("Ana Able", ana));
        EXPECT_FALSE(keys.remember("Bo  Smith", bo));
        EXPECT_FALSE(keys.remember("Ana Able", bo)); // replaced, not added
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("zz not hex\r\n" + QByteArray(64, 'c') + "\r\n" + QByteArray(62, 'd') + " Cy\r\n");
    file.close();
    PeerKeys keys(path);
    keys.load();
    EXPECT_EQ(keys.count(), 2);
    EXPECT_EQ(keys.keyOf("Ana Able"), bo);
    EXPECT_EQ(keys.keyOf("Bo  Smith"), bo);
    EXPECT_TRUE(keys.keyOf("Cy").isEmpty());
}
