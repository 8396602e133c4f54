// Fuzzes what arrives on a call's media connection, through the media session's own receive path
// with both engines loaded: a program on an in-memory network places a call to the fuzzer, which
// plays the callee's media listener, sends the input as the packets of one call (in pieces of
// the input's choosing) and hangs up. Every picture the engine draws lies inside its buffer (each
// byte is read), the received picture's size stays a picture size, the chat text stays bounded,
// and the call ends when the peer hangs up.
#include "fuzzsupport.h"
#include "media/picturetarget.h"
#include "platform/memorytransport.h"
#include "testsupport.h"

#include <QCoreApplication>

using Fuzz::require;

namespace
{

constexpr quint16 PeerBase = 4000;
constexpr int MaxPictureBytes = 640 * 480 * 3;

// Reads the first and the last byte of every row it is handed, so a picture described larger
// than its buffer shows up.
struct ReadingTarget : PictureTarget {
    void drawPicture(const uint8_t *bits, int width, int height) override
    {
        require(width > 0 && height > 0 && width * height * 3 <= MaxPictureBytes,
                "a drawn picture fits the picture buffer");
        unsigned sum = 0;
        for (int row = 0; row < height; ++row)
            sum += bits[row * width * 3] + bits[(row + 1) * width * 3 - 1];
        volatile unsigned sink = sum;
        (void)sink;
    }
};

struct Caller {
    Fuzz::ScratchFile settings{QStringLiteral("ovela.ini")};
    MemoryNetwork network;
    RecordingMessages messages;
    RecordingSounds sounds;
    RecordingView view;
    ReadingTarget incoming;
    Program program{messages, sounds, network,
                    ProgramConfig{settings.path(), 5000, QStringLiteral("127.0.0.1"), 5015}};
    ProgramInternals parts{program};
    std::unique_ptr<LineListener> peer = network.listener();
    int id = 0;

    Caller()
    {
        QObject::connect(peer.get(), &LineListener::connectionAccepted, [this](int c) { id = c; });
        QObject::connect(peer.get(), &LineListener::disconnected, [this] { id = 0; });
        peer->setActive(true);
        peer->setLocalPort(PeerBase + MediaSession::MediaPortOffset);
        peer->setListening(true);
        parts.media().setIncomingTarget(&incoming);
        program.startUp(view, QString());
    }
};

Caller *g_caller = nullptr;

bool settle(const std::function<bool()> &done)
{
    for (int i = 0; i < 20 && !done(); ++i)
        QCoreApplication::processEvents();
    return done();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Fuzz::absoluteArguments(argc, argv);
    static QTemporaryDir folder(Fuzz::scratchTemplate());
    // Received speech is decoded and played into a file, so the audio path runs too.
    qputenv("OVELA_SPEAKER", ("wav:" + folder.filePath("speaker.wav")).toUtf8());
    qputenv("OVELA_MIC", "none");
    qputenv("OVELA_CAMERA", "");
    QDir::setCurrent(folder.path()); // the program's list files and log
    // Inputs of a few pictures: a longer one only takes longer.
    g_caller = Fuzz::startKept<Caller>(argc, argv, {"-detect_leaks=0", "-max_len=12000"});
    require(g_caller->parts.media().video().engineReady(), "the video engine is loaded");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Caller &c = *g_caller;
    MediaSession &media = c.parts.media();
    Fuzz::Input in(data, size);
    const uint8_t cuts = in.choice();
    const QByteArray stream = in.rest();

    require(!media.connectTo(MemoryNetwork::Address, PeerBase + MediaSession::MediaPortOffset),
            "the call is placed");
    require(settle([&] { return c.id != 0 && media.inCall(); }), "the call starts");
    // Pieces of up to a few hundred bytes at the least: the line splitter's own target covers
    // smaller ones.
    Fuzz::feedInPieces(stream, cuts, 256,
                       [&](const QByteArray &piece) { c.peer->dataToSend(c.id, piece); });
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    const QSize shown = media.incomingPictureSize();
    require(shown.width() > 0 && shown.height() > 0 &&
                shown.width() * shown.height() * 3 <= MaxPictureBytes,
            "the received picture's size is a picture size");
    // Trimmed before each addition, and no line is longer than a packet's payload.
    require(c.parts.chat().incoming().size() <=
                ChatConversation::TrimAt + MediaSession::PayloadBytes + 32,
            "the chat text is bounded");
    if (c.id != 0) c.peer->setConnected(c.id, false);
    require(settle([&] { return !media.inCall(); }), "the call ends when the peer hangs up");
    return 0;
}
