// Shared test helpers: recorders standing in for the windows and the sound player, free ports,
// a program of the tests with a view of its parts, a raw TCP peer that plays the other program
// byte for byte, and waiting on the event loop.
#pragma once

#include "freeport.h"
#include "platform/linetransport.h"
#include "platform/soundplayer.h"
#include "platform/usermessages.h"
#include "program/program.h"
#include "program/programview.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

#include <memory>

// Runs the event loop until cond() holds or the time is up.
// A second of 8 kHz 8-bit silence as a WAV file, for a scripted microphone (OVELA_MIC=wav:path).
inline void writeSilentWav(const QString &path)
{
    QFile silence(path);
    silence.open(QIODevice::WriteOnly);
    const QByteArray samples(8000, '\x80');
    QByteArray header = "RIFF";
    auto le32 = [&](quint32 v) { header.append(reinterpret_cast<const char *>(&v), 4); };
    auto le16 = [&](quint16 v) { header.append(reinterpret_cast<const char *>(&v), 2); };
    le32(36 + quint32(samples.size()));
    header += "WAVEfmt ";
    le32(16);
    le16(1);
    le16(1);
    le32(8000);
    le32(8000);
    le16(1);
    le16(8);
    header += "data";
    le32(quint32(samples.size()));
    silence.write(header + samples);
}

inline bool waitUntil(const std::function<bool()> &cond, int ms = 5000)
{
    return QTest::qWaitFor(cond, ms);
}

struct RecordingMessages : UserMessages {
    QStringList info, errors, boxes, questions;
    bool answer = true;
    std::function<void()> onInfoOk;
    std::function<void()> onBox; // runs while a message box would wait for its OK
    void showInfoMessage(const QString &t, std::function<void()> onOk = {}) override
    {
        info << t;
        onInfoOk = std::move(onOk);
    }
    void showErrorMessage(const QString &t) override { errors << t; }
    void messageBox(const QString &t, const QString & = {}) override
    {
        boxes << t;
        if (onBox) onBox();
    }

    bool askYesNo(const QString &t) override
    {
        questions << t;
        return answer;
    }
};

struct RecordingSounds : SoundPlayer {
    QStringList played;
    void play(const QString &name) override { played << name; }
};

struct RecordingView : ProgramView {
    QStringList calls;
    bool selfView = false, chat = false, rates = false;
    void sizeMainWindow() override { calls << "size"; }
    void showSplash() override { calls << "splash"; }
    void closeSplash() override { calls << "closeSplash"; }
    void moveMainWindow(int l, int t) override
    {
        calls << QStringLiteral("move %1 %2").arg(l).arg(t);
    }
    void mainWindowPosition(int *l, int *t) const override
    {
        *l = 1500;
        *t = 900;
    }
    void loadWindows() override { calls << "load"; }
    void showStartupWindows(bool s, bool c, bool r) override
    {
        calls << QStringLiteral("windows %1%2%3").arg(s).arg(c).arg(r);
    }
    void showMainWindow() override { calls << "main"; }
    void showOptions() override { calls << "options"; }
    OpenWindows openWindows() const override { return {}; }
    void unloadWindows() override { calls << "unload"; }
};

// A temporary folder made current for the length of a test, for the bare-named list files.
class ScratchFolder
{
public:
    ScratchFolder() : m_old(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~ScratchFolder() { QDir::setCurrent(m_old); }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_old;
};

// The tests' view of a program's parts.
class ProgramInternals
{
public:
    explicit ProgramInternals(Program &program) : p(program) {}
    Settings &settings() { return p.m_settings; }
    CallSession &session() { return p.m_session; }
    PalList &pals() { return p.m_pals; }
    RefuseList &refuseList() { return p.m_refuseList; }
    Messaging &messaging() { return p.m_messaging; }
    ActivityLog &log() { return p.m_log; }
    ChatConversation &chat() { return p.m_chat; }
    ChatLink &chatLink() { return p.m_chatLink; }
    DirectoryClient &directory() { return p.m_directory; }
    PalPresence &presence() { return p.m_presence; }
    UserIdentity &identity() { return p.m_identity; }
    DirectoryModel &directoryModel() { return p.m_directoryModel; }
    QuickMessageReceiver &quickMessages() { return p.m_quickMessages; }
    IncomingCall &incoming() { return p.m_incoming; }
    MediaSession &media() { return p.m_media; }
    CallSignalling &signalling() { return p.m_signalling; }
    OutgoingCall &outgoing() { return p.m_outgoing; }
    MainWindowModel &mainWindow() { return p.m_mainWindow; }
    OptionsModel &options() { return p.m_options; }
    SoundDevices &soundDevices() { return p.m_soundDevices; }
    PortMapping &portMapping() { return p.m_portMapping; }
    const QString &settingsPath() const { return p.m_config.settingsPath; }

private:
    Program &p;
};

// A program of the tests on free ports (or on an in-memory network), in a folder of its own,
// with recorders for its windows, its messages and its sounds.
struct TestProgram {
    // The pal server is looked for where nobody listens unless a test says otherwise.
    explicit TestProgram(Transports *network = nullptr, quint16 basePort = freeBasePort(),
                         quint16 palPort = freeBasePort())
        : program(messages, sounds, network ? *network : tcp,
                  {folder.file("ovela.ini"), basePort, QStringLiteral("127.0.0.1"), palPort})
    {
    }
    ~TestProgram() { program.shutDown(); }
    void start(const QString &commandLine = QString()) { program.startUp(view, commandLine); }
    quint16 port(int offset = 0) const { return quint16(program.basePort() + offset); }
    ProgramInternals &operator*() { return parts; }
    ProgramInternals *operator->() { return &parts; }

    ScratchFolder folder;
    RecordingMessages messages;
    RecordingSounds sounds;
    RecordingView view;
    TcpTransports tcp;
    Program program;
    ProgramInternals parts{program};
};

// One raw TCP connection, reading what arrives into a buffer.
class RawConnection
{
public:
    explicit RawConnection(QTcpSocket *socket) : m_socket(socket) {}
    static std::unique_ptr<RawConnection> connectTo(quint16 port, const char *host = "127.0.0.1")
    {
        auto *socket = new QTcpSocket;
        socket->connectToHost(QString::fromLatin1(host), port);
        if (!socket->waitForConnected(3000)) {
            delete socket;
            return nullptr;
        }
        return std::make_unique<RawConnection>(socket);
    }
    // A connection whose kernel receive buffer is tiny, for a peer that stops reading.
    static std::unique_ptr<RawConnection> connectSmall(quint16 port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int size = 4096;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
            ::close(fd);
            return nullptr;
        }
        auto *socket = new QTcpSocket;
        socket->setSocketDescriptor(fd);
        return std::make_unique<RawConnection>(socket);
    }
    ~RawConnection() { delete m_socket; }

    void send(const QByteArray &bytes)
    {
        m_socket->write(bytes);
        m_socket->flush();
    }
    // Everything received so far.
    QByteArray received()
    {
        m_buffer += m_socket->readAll();
        return m_buffer;
    }
    bool waitFor(const QByteArray &bytes, int ms = 5000)
    {
        return waitUntil([&] { return received().contains(bytes); }, ms);
    }
    // Waits for `bytes` and removes everything up to and including them.
    bool take(const QByteArray &bytes, int ms = 5000)
    {
        if (!waitFor(bytes, ms)) return false;
        m_buffer.remove(0, m_buffer.indexOf(bytes) + bytes.size());
        return true;
    }
    void clear()
    {
        received();
        m_buffer.clear();
    }
    bool waitClosed(int ms = 5000)
    {
        return waitUntil([&] { return m_socket->state() == QAbstractSocket::UnconnectedState; },
                         ms);
    }
    bool open() const { return m_socket->state() == QAbstractSocket::ConnectedState; }
    void close() { m_socket->disconnectFromHost(); }
    QTcpSocket *socket() { return m_socket; }

private:
    QTcpSocket *m_socket;
    QByteArray m_buffer;
};

// A listening peer on one port that keeps the connections it accepts.
class RawListener
{
public:
    explicit RawListener(quint16 port) { m_server.listen(QHostAddress::AnyIPv4, port); }
    bool listening() const { return m_server.isListening(); }
    RawConnection *waitForConnection(int ms = 5000)
    {
        if (!waitUntil([&] { return m_server.hasPendingConnections(); }, ms)) return nullptr;
        m_conns.push_back(std::make_unique<RawConnection>(m_server.nextPendingConnection()));
        return m_conns.back().get();
    }

private:
    QTcpServer m_server;
    std::vector<std::unique_ptr<RawConnection>> m_conns;
};
