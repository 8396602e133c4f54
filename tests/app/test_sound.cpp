// The sound player finds the program's sounds and stays silent, without blocking, where there is
// no file or no sound card.
#include "platform/soundplayer.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

TEST(WavePlayer, FindsTheProgramsSoundsAndNotesWhatWasAskedFor)
{
    for (const char *name : {"ringin.wav", "discon.wav", "inmsg.wav", "chatbell.wav"})
        EXPECT_FALSE(WavePlayer::locate(QLatin1String(name)).isEmpty()) << name;
    EXPECT_TRUE(WavePlayer::locate("no-such-sound.wav").isEmpty());

    ScratchFolder dir;
    qputenv("OVELA_SOUND_LOG", dir.file("sounds.txt").toUtf8());
    {
        WavePlayer player;
        QElapsedTimer timer;
        timer.start();
        player.play("no-such-sound.wav");
        player.play("ringin.wav");
        player.play("discon.wav"); // stops the ring
        EXPECT_LT(timer.elapsed(), 1000) << "playing never waits for the sound";
    }
    qunsetenv("OVELA_SOUND_LOG");
    QFile log(dir.file("sounds.txt"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), "no-such-sound.wav\nringin.wav\ndiscon.wav\n");
}

TEST(WavePlayer, ASoundInTheCurrentFolderComesFirst)
{
    ScratchFolder dir;
    QFile own(dir.file("ringin.wav"));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write("not really a wave file");
    own.close();
    EXPECT_EQ(WavePlayer::locate("ringin.wav"), QDir::current().filePath("ringin.wav"));
    WavePlayer player;
    player.play("ringin.wav"); // unreadable: silently nothing
}
