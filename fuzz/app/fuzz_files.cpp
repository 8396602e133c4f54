// Fuzzes the files the program reads at start-up, one target per file (OVELA_FUZZ_FILE): the
// settings file, the pal list, the refuse list, the unopened quick messages and the user ID. Each
// input is the file as it lies on disk. Whatever it holds, reading it never fails the program, a
// damaged file of our own is set aside rather than read, and what is read stays within the
// tables' limits; saving what was read and reading it again gives the same (a file the program
// wrote reads back as it was written).
#include "fuzzsupport.h"
#include "messaging/messagestore.h"
#include "platform/usermessages.h"
#include "protocol/quickmessage.h"
#include "userdata/lists.h"
#include "userdata/settings.h"
#include "userdata/useridentity.h"

using Fuzz::require;

namespace
{

struct Messages : UserMessages {
    int shown = 0;
    void showInfoMessage(const QString &, std::function<void()>) override { ++shown; }
    void showErrorMessage(const QString &) override { ++shown; }
    void messageBox(const QString &, const QString &) override { ++shown; }
    bool askYesNo(const QString &) override { return true; }
};

enum Which { SettingsFile, PalFile, RefuseFile, MessageFile, UserIdFile };

const QString &fileName(Which which)
{
    static const QString names[] = {QStringLiteral("ovela.ini"), PalFileName, RefuseFileName,
                                    MessageStore::FileName, UserIdentity::FileName};
    return names[which];
}

void settings(const Fuzz::ScratchFile &file)
{
    Settings read;
    loadSettings(file.path(), read);
    for (const QString *t :
         {&read.Name, &read.EMail, &read.Location, &read.Comment, &read.DirAddress, &read.ImageMsg})
        require(t->size() <= 49, "a setting's text fits its buffer");
    require(read.WelcomeMsg.size() <= 99, "the welcome message fits its buffer");
    require(saveSettings(file.path(), read), "the settings are saved");
    const QByteArray saved = file.read();
    Settings again;
    loadSettings(file.path(), again);
    require(saveSettings(file.path(), again), "the settings are saved again");
    // Values are read without the blanks around them, so a value cut in the middle of blanks
    // loses them on its next reading; nothing else may change.
    const QList<QByteArray> first = saved.split('\n'), second = file.read().split('\n');
    require(first.size() == second.size(), "saved settings keep their lines");
    for (qsizetype i = 0; i < first.size(); ++i)
        require(QString::fromUtf8(first[i]).trimmed() == QString::fromUtf8(second[i]).trimmed(),
                "saved settings read back as they were");
}

void pals(const Fuzz::ScratchFile &file)
{
    PalList read;
    loadPalFile(read, file.path());
    require(read.count() <= PalList::Capacity, "at most 200 pals");
    require(!writePalFile(read, file.path()), "the pal list is saved");
    PalList again;
    loadPalFile(again, file.path());
    require(again.count() == read.count(), "a saved pal list keeps its pals");
    for (int i = 0; i < read.count(); ++i) {
        const PalEntry &a = read.entries[size_t(i)], &b = again.entries[size_t(i)];
        require(a.Name == b.Name && a.EMail == b.EMail, "a saved pal list reads back as it was");
    }
}

void refused(const Fuzz::ScratchFile &file)
{
    RefuseList read;
    loadRefuseList(read, file.path());
    require(read.count() <= RefuseList::Capacity, "at most 200 refused senders");
    require(!writeRefuseList(read, file.path()), "the refuse list is saved");
    RefuseList again;
    loadRefuseList(again, file.path());
    require(again.count() == read.count(), "a saved refuse list keeps its entries");
    for (int i = 0; i < read.count(); ++i) {
        const RefuseEntry &a = read.entries[size_t(i)], &b = again.entries[size_t(i)];
        require(a.ID == b.ID && a.Name == b.Name && a.EMail == b.EMail,
                "a saved refuse list reads back as it was");
    }
}

// A damaged file of our own is reported once and moved aside with its bytes; a good one stays.
void requireSetAside(const Fuzz::ScratchFile &file, const QByteArray &bytes, bool good,
                     const Messages &messages)
{
    QFile aside(file.path() + QStringLiteral(".damaged"));
    if (good) {
        require(messages.shown == 0 && file.read() == bytes, "a good file is read and kept");
        return;
    }
    require(messages.shown == 1, "a damaged file is reported once");
    require(!QFile::exists(file.path()), "a damaged file is moved away");
    require(aside.open(QIODevice::ReadOnly) && aside.readAll() == bytes,
            "a damaged file is kept aside whole");
    aside.close();
    aside.remove();
}

void unopened(const Fuzz::ScratchFile &file, const QByteArray &bytes)
{
    Messages messages;
    const QList<ReceivedMessage> read = MessageStore::load(messages, file.path());
    QList<ReceivedMessage> decoded;
    const bool good = MessageStore::decode(bytes, &decoded);
    requireSetAside(file, bytes, good, messages);
    require(read.size() <= QuickMessage::Slots, "at most ten messages");
    for (const ReceivedMessage &m : read) {
        require(m.picture.size() <= QuickMessage::MaxPicture, "a picture within the limit");
        require(m.audio.size() <= QuickMessage::MaxChunks, "a voice clip within the limit");
        for (const QByteArray &chunk : m.audio)
            require(chunk.size() <= QuickMessage::MaxChunk, "a voice chunk within the limit");
    }
    require(MessageStore::save(read, messages, file.path()), "the messages are saved");
    require(MessageStore::load(messages, file.path()) == read, "saved messages read back");
}

void userId(const Fuzz::ScratchFile &file, const QByteArray &bytes)
{
    Settings settings;
    Messages messages;
    UserIdentity identity(settings, messages, file.folder());
    identity.load();
    const bool good = identity.userId() != UserIdentity::NoId || QFile::exists(file.path());
    requireSetAside(file, bytes, good, messages);
    const qint32 id = identity.userId();
    identity.setUserId(id);
    UserIdentity again(settings, messages, file.folder());
    again.load();
    require(again.userId() == id && messages.shown == (good ? 0 : 1), "a saved user ID reads back");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // A file of ours is a few hundred bytes; the settings are read key by key, each time from the
    // top, so a longer one only takes longer.
    Fuzz::defaultFlags(argc, argv,
                       {OVELA_FUZZ_FILE == SettingsFile ? "-max_len=1024" : "-max_len=2048"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    constexpr Which which = Which(OVELA_FUZZ_FILE);
    static const Fuzz::ScratchFile file(fileName(which));
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    file.write(bytes);
    switch (which) {
    case SettingsFile:
        settings(file);
        break;
    case PalFile:
        pals(file);
        break;
    case RefuseFile:
        refused(file);
        break;
    case MessageFile:
        unopened(file, bytes);
        break;
    case UserIdFile:
        userId(file, bytes);
        break;
    }
    return 0;
}
