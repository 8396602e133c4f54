// Fuzzes the real-time chat connection as the program reads it: the bytes a peer sends arrive
// through the chat link's own connection (split at "<E>"), are read as key, bell or nothing, and
// change the conversation text, which stays bounded whatever arrives. A key read from a line is a
// Unicode character, and the line the program builds for it reads back as the same key.
#include "calls/callsession.h"
#include "calls/chatconversation.h"
#include "calls/chatlink.h"
#include "fuzzsupport.h"
#include "platform/memorytransport.h"
#include "protocol/chatline.h"
#include "userdata/settings.h"

#include <QCoreApplication>

using Fuzz::require;

namespace
{

constexpr quint16 PeerBase = 4000;

struct Peer {
    MemoryNetwork network;
    CallSession session;
    Settings settings;
    ChatConversation chat{session, settings};
    ChatLink link{session, chat, network};
    std::unique_ptr<LineListener> listener = network.listener();
    int id = 0;

    Peer()
    {
        QObject::connect(listener.get(), &LineListener::connectionAccepted,
                         [this](int connection) { id = connection; });
        listener->setActive(true);
        listener->setLocalPort(PeerBase + ChatLink::TextPortOffset);
        listener->setListening(true);
        link.start(5000);
        link.connectText(MemoryNetwork::Address, PeerBase);
        for (int i = 0; i < 10 && id == 0; ++i)
            QCoreApplication::processEvents();
        require(id != 0, "the chat connection opens");
    }
};

Peer *g_peer = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    g_peer = Fuzz::startKept<Peer>(argc, argv, {"-detect_leaks=0"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input in(data, size);
    const uint8_t cuts = in.choice();
    const QByteArray bytes = in.rest();

    // The line alone.
    const ChatLine::Line line = ChatLine::parse(bytes);
    if (const auto *key = std::get_if<ChatLine::Key>(&line)) {
        require(key->character <= 0x10FFFF && (key->character < 0xD800 || key->character > 0xDFFF),
                "a key is a Unicode character");
        QByteArray built = ChatLine::build(*key);
        built.chop(ChatLine::Terminator.size());
        if (key->character != ChatLine::BellCode)
            require(ChatLine::parse(built) == line, "a key's line reads back as that key");
    }

    // The same bytes from the peer, in pieces, then a terminator so that no line is left over.
    Peer &p = *g_peer;
    const QByteArray stream = bytes + ChatLine::Terminator;
    Fuzz::feedInPieces(stream, cuts, 1,
                       [&](const QByteArray &piece) { p.listener->dataToSend(p.id, piece); });
    QCoreApplication::processEvents();
    require(p.link.connected(), "the chat connection stays up");
    require(p.chat.incoming().size() <= ChatConversation::TrimAt + 2,
            "the conversation text is bounded");
    return 0;
}
