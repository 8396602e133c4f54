// Fuzzes the quick-message connection as the recipient reads it. The reader gives the same
// messages whether the bytes arrive at once or in pieces; a payload never exceeds the message
// limits; a picture or a voice chunk the program builds, whatever bytes it holds ("<E>"
// included), reads back whole. In one mode in four the bytes also go to a real receiver over an
// in-memory connection: whatever a sender does, no slot stays taken once its connection is gone,
// and the unopened-message file always holds exactly the messages waiting.
#include "fuzzsupport.h"
#include "messaging/messagestore.h"
#include "messaging/quickmessagereceiver.h"
#include "platform/memorytransport.h"
#include "platform/soundplayer.h"
#include "platform/usermessages.h"
#include "protocol/quickmessage.h"
#include "userdata/lists.h"
#include "userdata/settings.h"

#include <QCoreApplication>

using Fuzz::require;
using namespace QuickMessage;

namespace
{

struct Quiet : UserMessages, SoundPlayer {
    void showInfoMessage(const QString &, std::function<void()>) override {}
    void showErrorMessage(const QString &) override {}
    void messageBox(const QString &, const QString &) override {}
    bool askYesNo(const QString &) override { return true; }
    void play(const QString &) override {}
};

struct Recipient {
    Fuzz::ScratchFile store{MessageStore::FileName};
    MemoryNetwork network;
    Settings settings;
    RefuseList refused;
    Quiet quiet;
    QuickMessageReceiver receiver{{settings, refused, quiet, quiet, network}};

    Recipient()
    {
        refused.add({4711, QStringLiteral("Refused"), QString()});
        receiver.start(6000);
        receiver.loadUnopened(store.path());
    }
    int storedCount() const
    {
        if (!QFile::exists(store.path())) return 0;
        QList<ReceivedMessage> stored;
        require(MessageStore::decode(store.read(), &stored), "the unopened-message file reads");
        return int(stored.size());
    }
};

Recipient *g_recipient = nullptr;

void requireWithinLimits(const Message &m)
{
    if (const auto *p = std::get_if<Picture>(&m)) require(p->jpeg.size() <= MaxPicture, "picture");
    if (const auto *c = std::get_if<AudioChunk>(&m)) require(c->block.size() <= MaxChunk, "chunk");
    if (const auto *b = std::get_if<Body>(&m))
        for (const QString *t : {&b->name, &b->email, &b->location, &b->time})
            require(t->size() <= 256, "a sender's text is cut");
}

// A message the program built from one it read arrives as one message, and a second round
// changes nothing.
void checkRoundTrip(const Message &m)
{
    if (std::holds_alternative<std::monostate>(m)) return;
    Reader reader;
    const std::vector<Message> once = reader.feed(buildAny(m));
    require(once.size() == 1 && once[0].index() == m.index(), "a built message reads as one");
    if (std::holds_alternative<Picture>(m) || std::holds_alternative<AudioChunk>(m))
        require(once[0] == m, "a payload within the limits arrives whole");
    Reader again;
    const std::vector<Message> twice = again.feed(buildAny(once[0]));
    require(twice.size() == 1 && twice[0] == once[0], "a rebuilt message reads back the same");
}

void throughReceiver(const QByteArray &stream, uint8_t cuts, qsizetype scale)
{
    Recipient &r = *g_recipient;
    const auto sender = r.network.client();
    sender->setEol(QByteArray());
    sender->setRemoteHost(MemoryNetwork::Address);
    sender->setRemotePort(6000 + QuickMessageReceiver::MessagePortOffset);
    sender->setConnected(true);
    QCoreApplication::processEvents();
    // The reader's handling of every cut is checked above; the receiver still gets pieces from
    // one byte up, but up to 64 times larger, so that a stream is tens of deliveries (each an
    // event) rather than thousands, which were most of the target's time.
    Fuzz::feedInPieces(stream, cuts, scale * 64,
                       [&](const QByteArray &piece) { sender->dataToSend(piece); });
    QCoreApplication::processEvents();
    sender->setConnected(false);
    QCoreApplication::processEvents();
    for (int slot = 1; slot <= Slots; ++slot)
        require(r.receiver.state(slot) != QuickMessageReceiver::State::Receiving,
                "no slot stays taken once its sender is gone");
    require(r.storedCount() == r.receiver.waitingCount(), "the file holds the waiting messages");
    ReceivedMessage opened;
    while (r.receiver.openNextMessage(&opened))
        require(opened.picture.size() <= MaxPicture && opened.audio.size() <= MaxChunks,
                "a kept message within the limits");
    require(r.storedCount() == 0, "opened messages leave the file");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // A message's lines are short, and one past the limits is made by repeating the input.
    g_recipient = Fuzz::startKept<Recipient>(argc, argv, {"-detect_leaks=0", "-max_len=4096"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input in(data, size);
    const uint8_t mode = in.choice();
    const uint8_t cuts = in.choice();
    QByteArray stream = in.rest();
    if ((mode & 0x70) == 0x70) // then a line past the longest a connection holds
        stream += QByteArray(MaxLine + 1, 'x');

    Reader whole;
    const std::vector<Message> all = whole.feed(stream);
    require(whole.buffered() <= MaxLine, "the reader holds at most its limit");
    const qsizetype scale = stream.size() > 65536 ? 1024 : 1;
    Reader pieces;
    std::vector<Message> fed;
    Fuzz::feedInPieces(stream, cuts, scale, [&](const QByteArray &piece) {
        for (Message &m : pieces.feed(piece))
            fed.push_back(std::move(m));
        require(pieces.buffered() <= MaxLine, "the reader holds at most its limit");
    });
    if (!whole.overflowed() && !pieces.overflowed())
        require(fed == all, "pieces give the same messages as the whole");
    for (const Message &m : all) {
        requireWithinLimits(m);
        checkRoundTrip(m);
    }
    if ((mode & 3) == 3) throughReceiver(stream, cuts, scale);
    return 0;
}
