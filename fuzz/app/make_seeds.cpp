// Writes the seed corpus of the program's fuzz targets from real traffic: two programs on an
// in-memory network whose tap records every byte sent, with this project's directory server
// (in-process, reached through a relay) and both engines with scripted devices. They log in, list
// and look each other up, get a user ID, take a call with pictures, speech, chat lines and
// real-time keys, send a quick message with a picture and a voice clip, hang up and shut down;
// the files they leave are seeds too. Run from the repository root:
//   build-fuzz2/bin/app_fuzz_seeds fuzz
#include "callanalysis.h"
#include "directoryserver.h"
#include "media/enginebindings.h"
#include "media/picturetarget.h"
#include "messaging/messagestore.h"
#include "messaging/quickmessagesender.h"
#include "platform/memorytransport.h"
#include "protocol/callcontrol.h"
#include "protocol/chatline.h"
#include "protocol/directory.h"
#include "protocol/mediapacket.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QTcpSocket>

#include <cstdio>
#include <map>

namespace
{

constexpr quint16 AnaBase = 2000, BoBase = 2100, DirectoryPort = 2010, PalPort = 2015;

struct Record {
    quint16 port;
    const void *connection;
    bool toListener;
    QByteArray bytes;
};

// Connections to the directory and pal ports of the in-memory network go on to the real server.
class Relay : public QObject
{
public:
    Relay(MemoryNetwork &network, quint16 port, quint16 serverPort)
        : m_listener(network.listener()), m_serverPort(serverPort)
    {
        LineListener *l = m_listener.get();
        connect(l, &LineListener::connectionAccepted, this, [this, l](int id) {
            l->setEol(id, QByteArray());
            auto *socket = new QTcpSocket(this);
            m_sockets[id] = socket;
            connect(socket, &QTcpSocket::readyRead, this,
                    [l, id, socket] { l->dataToSend(id, socket->readAll()); });
            socket->connectToHost(QStringLiteral("127.0.0.1"), m_serverPort);
            socket->waitForConnected(3000);
        });
        connect(l, &LineListener::dataIn, this, [this](int id, const QByteArray &bytes) {
            if (QTcpSocket *s = m_sockets[id]) s->write(bytes);
        });
        connect(l, &LineListener::disconnected, this, [this](int id) {
            if (QTcpSocket *s = m_sockets[id]) s->disconnectFromHost();
            m_sockets.erase(id);
        });
        l->setActive(true);
        l->setLocalPort(port);
        l->setListening(true);
    }

private:
    std::unique_ptr<LineListener> m_listener;
    quint16 m_serverPort;
    std::map<int, QTcpSocket *> m_sockets;
};

struct NoPicture : PictureTarget {
    void drawPicture(const uint8_t *, int, int) override {}
};

class Corpus
{
public:
    explicit Corpus(const QString &root) : m_root(root) {}
    // A seed named by its content, so that running again adds nothing twice.
    void add(const char *target, const QByteArray &bytes)
    {
        const QString folder = QString::fromLatin1(target).startsWith(QLatin1String("fuzz_server_"))
                                   ? QStringLiteral("/server/corpus/")
                                   : QStringLiteral("/app/corpus/");
        QDir dir(m_root + folder + QLatin1String(target));
        dir.mkpath(QStringLiteral("."));
        const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
        QFile f(dir.filePath(QString::fromLatin1(hash.left(16))));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
        ++m_count[target];
    }
    void report() const
    {
        for (const auto &[target, n] : m_count)
            std::printf("%-32s %d seeds\n", target.c_str(), n);
    }

private:
    QString m_root;
    std::map<std::string, int> m_count;
};

QByteArray byte(int b)
{
    return QByteArray(1, char(b));
}

// Lines of a stream, split at `eol`.
QList<QByteArray> linesOf(const QByteArray &stream, const QByteArray &eol)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype at; (at = stream.indexOf(eol, start)) >= 0; start = at + eol.size())
        lines.append(stream.mid(start, at - start));
    return lines;
}

QByteArray gsmBlock()
{
    std::vector<uint8_t> samples(1600);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = uint8_t(128 + 60 * std::sin(double(i) * 0.2) * std::sin(double(i) * 0.013));
    std::vector<uint8_t> block(2000);
    const int n =
        qvd::QVIDCompressAudioGSM(samples.data(), int16_t(samples.size()), 0, block.data());
    return QByteArray(reinterpret_cast<const char *>(block.data()), n);
}

QByteArray smallJpeg()
{
    std::vector<uint8_t> picture(80 * 60 * 3);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = uint8_t(i * 7 % 251);
    std::vector<uint8_t> jpeg(8000);
    const int n = qvd::QVIDCompressStill(picture.data(), 80, 60, 40, jpeg.data(), 8000);
    return QByteArray(reinterpret_cast<const char *>(jpeg.data()), n);
}

void setUp(TestProgram &t, const char *name, const char *email)
{
    QDir().mkpath(QFileInfo(t->settingsPath()).absolutePath());
    QFile ini(t->settingsPath());
    ini.open(QIODevice::WriteOnly);
    ini.write(QStringLiteral("[Personal]\nName=%1\nEMail=%2\nLocation=Porto\nDirAddress=127.0.0.1\n"
                             "DirPort=%3\n[Calling]\nAutoAccept=True\n")
                  .arg(QLatin1String(name), QLatin1String(email))
                  .arg(DirectoryPort)
                  .toUtf8());
    ini.close();
    t.start();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: app_fuzz_seeds <fuzz folder>\n");
        return 2;
    }
    const QString root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QTemporaryDir devices;
    CallAnalysis::writeSpeechLikeWav(devices.filePath("speech.wav"), 4);
    qputenv("OVELA_CAMERA", "pattern:320x240:yuv12");
    qputenv("OVELA_MIC", ("wav:" + devices.filePath("speech.wav")).toUtf8());
    qputenv("OVELA_SPEAKER", ("wav:" + devices.filePath("speaker.wav")).toUtf8());

    // The directory server, and the network with its tap.
    QTemporaryDir serverFolder;
    QString error;
    ServerConfig config;
    config.database = serverFolder.filePath(QStringLiteral("ids.db"));
    config.directoryPort = config.palPort = 0;
    config.listenAddress = QStringLiteral("127.0.0.1");
    config.messages = {QStringLiteral("Maintenance on Sunday from 6 to 7 am.")};
    config.servers = {{QStringLiteral("dir2.example.org"), 2010, QStringLiteral("Europe")}};
    config.redirect = Directory::Redirect{QStringLiteral("dir2.example.org"),
                                          QStringLiteral("2010"), QStringLiteral("Closer")};
    DirectoryServer server(config);
    if (!server.start(&error)) return 1;
    MemoryNetwork network;
    std::vector<Record> records;
    network.tap = [&](quint16 port, const void *c, bool toListener, const QByteArray &bytes) {
        records.push_back({port, c, toListener, bytes});
    };
    Relay directoryRelay(network, DirectoryPort, server.directoryPort());
    Relay palRelay(network, PalPort, server.palPort());

    TestProgram ana(&network, AnaBase, PalPort), bo(&network, BoBase, PalPort);
    setUp(ana, "Ana Lee", "ana@example.org");
    setUp(bo, "Bo Smith", "bo@example.org");
    NoPicture anaView, boView;
    ana->media().startCapture(&anaView);
    bo->media().startCapture(&boView);

    // The directory and the pal server.
    for (TestProgram *t : {&ana, &bo}) {
        (*t)->presence().connectPalServer();
        waitUntil([&] { return (*t)->identity().userId() > 0; });
        (*t)->directoryModel().setVisible(true);
        (*t)->directoryModel().openedByCommand();
        (*t)->directoryModel().activated();
        waitUntil([&] { return !(*t)->directoryModel().users().isEmpty(); });
    }
    ana->directoryModel().refresh();
    ana->directory().lookUpEmail(QStringLiteral("nobody@example.org"));
    ana->directoryModel().addPal(QStringLiteral("bo@example.org"));
    ana->presence().checkTick();
    QTest::qWait(500);

    // A call to the address the directory gives for an e-mail address: pictures both ways,
    // speech, a chat line, real-time keys, the bell.
    ana->outgoing().callTyped(QStringLiteral("bo@example.org"));
    waitUntil([&] { return ana->media().inCall() && bo->media().inCall(); });
    ana->media().talk(true);
    QTest::qWait(1200);
    ana->media().talk(false);
    ana->media().textQueue().add(QStringLiteral("Olá, Bo — here is a line"));
    for (char32_t key : {U'H', U'é', U'\U0001F600', char32_t(8), char32_t(13)})
        bo->chat().keyTyped(key, QString());
    bo->chat().bellKey();
    bo->chat().ringUser();
    QTest::qWait(800);
    ana->mainWindow().hangUp();
    waitUntil([&] { return !ana->media().inCall() && !bo->media().inCall(); });

    // A quick message with a picture and a voice clip, kept unopened by Bo.
    QuickMessageSender sender(network, ana.messages);
    QuickMessageSender::Outgoing message;
    message.body = {ana->identity().userId(),
                    QStringLiteral("Ana Lee"),
                    QStringLiteral("ana@example.org"),
                    QStringLiteral("Porto"),
                    QStringLiteral("9:05"),
                    QStringLiteral("See you <E> soon; bye")};
    message.picture = smallJpeg();
    message.sendPicture = true;
    for (int i = 0; i < 6; ++i)
        message.audio.append(gsmBlock());
    message.sendAudio = true;
    sender.send(QStringLiteral("127.0.0.1"), BoBase, message);
    waitUntil([&] { return bo->quickMessages().waitingCount() == 1; });
    bo->refuseList().add({4711, QStringLiteral("Spam Sender"), QStringLiteral("spam@example.org")});

    // The files each program leaves (the list files of both are in the one current folder).
    Corpus corpus(root);
    auto fileSeed = [&](const char *target, const QString &path, const QByteArray &prefix = {}) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) corpus.add(target, prefix + f.readAll());
    };
    fileSeed("fuzz_app_message_store_file", MessageStore::FileName);
    for (TestProgram *t : {&ana, &bo}) {
        t->program.shutDown();
        fileSeed("fuzz_app_settings_file", (*t)->settingsPath());
        fileSeed("fuzz_app_userid_file", (*t)->identity().path());
        fileSeed("fuzz_app_pal_list_file", PalFileName);
        fileSeed("fuzz_app_refuse_list_file", RefuseFileName);
        fileSeed("fuzz_app_line_splitter", ActivityLog::FileName, byte(0) + byte(3));
    }

    // Each connection's stream in each direction, in the order sent.
    std::map<std::pair<const void *, bool>, std::pair<quint16, QByteArray>> streams;
    for (const Record &r : records) {
        auto &s = streams[{r.connection, r.toListener}];
        s.first = r.port;
        s.second += r.bytes;
        const int offset = r.port >= BoBase ? r.port - BoBase : r.port - AnaBase;
        if (r.port == DirectoryPort || r.port == PalPort || offset != 0) continue;
        corpus.add("fuzz_app_call_control", r.bytes); // one arrival is one message
    }
    // The answers of a program that can encrypt (the recorded calls run in memory, in the clear).
    corpus.add("fuzz_app_call_control",
               CallControl::build(CallControl::Answer{true, "Bo", "Rome", "9:05", true}));
    corpus.add("fuzz_app_call_control",
               CallControl::build(CallControl::Capability{"2.5", true, true}));
    for (const auto &[key, value] : streams) {
        const auto &[port, stream] = value;
        const bool toServer = key.second;
        const int offset = port >= BoBase ? port - BoBase : port - AnaBase;
        if (port == DirectoryPort || port == PalPort) {
            const QList<QByteArray> lines = linesOf(stream, Directory::Terminator);
            for (const QByteArray &line : lines) {
                if (toServer)
                    corpus.add("fuzz_app_directory", byte(1) + line);
                else if (port == DirectoryPort)
                    corpus.add("fuzz_app_directory", byte(0) + line);
                else
                    corpus.add("fuzz_app_pal_reply", line);
            }
            corpus.add("fuzz_app_line_splitter", byte(1) + byte(5) + stream);
            if (toServer) {
                // Each line as one record of the server fuzzer: the client, its port, the bytes.
                QByteArray conversation;
                for (const QByteArray &line : lines) {
                    const QByteArray bytes = (line + Directory::Terminator).left(255);
                    conversation += byte(port == PalPort ? 4 : 0) + byte(int(bytes.size())) + bytes;
                }
                corpus.add("fuzz_server_requests", conversation);
            }
        } else if (offset == MediaSession::MediaPortOffset) {
            // The start of the call, and each kind of packet alone.
            corpus.add("fuzz_app_media_session", byte(7) + stream.left(12000));
            corpus.add("fuzz_app_line_splitter", byte(2) + byte(7) + stream.left(4000));
            std::map<QByteArray, int> kinds;
            for (const QByteArray &packet : linesOf(stream, MediaPacket::Terminator))
                if (kinds[packet.left(3)]++ < 2)
                    corpus.add("fuzz_app_media_session",
                               byte(0) + packet + MediaPacket::Terminator);
        } else if (offset == QuickMessageReceiver::MessagePortOffset) {
            corpus.add("fuzz_app_quick_message", byte(3) + byte(6) + stream);
            corpus.add("fuzz_app_quick_message", byte(0) + byte(0) + stream);
        } else if (offset == ChatLink::TextPortOffset) {
            corpus.add("fuzz_app_chat_line", byte(3) + stream.chopped(ChatLine::Terminator.size()));
            for (const QByteArray &line : linesOf(stream, ChatLine::Terminator))
                corpus.add("fuzz_app_chat_line", byte(0) + line);
        }
    }
    corpus.report();
    return 0;
}
