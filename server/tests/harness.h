// What the server's tests share: a server running in a thread of its own on free ports of the
// range 32000-32700, and a plain blocking client that speaks lines ended by "<ET>".
#pragma once

#include "options.h"
#include "protocol/linesplitter.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <deque>
#include <memory>
#include <optional>

class QProcess;
class QThread;

// Two free ports next to each other (directory, pal), each checked by binding it.
quint16 freePortPair();

// Writes `text` as the configuration file server.ini in `dir`; its path, or empty when it could
// not be written.
QString writeConfig(const QTemporaryDir &dir, const QByteArray &text);

// Reads a server process's stderr into `log` until it holds `text` or `ms` have passed.
bool waitForLog(QProcess &p, QByteArray &log, const QByteArray &text, int ms = 5000);

class TestServer
{
public:
    // Starts on free ports; `config`'s ports are replaced. An empty `database` is an SQLite
    // file in a folder of the server's own.
    explicit TestServer(ServerConfig config = {}, const QString &database = {});
    ~TestServer(); // stops the server and its thread
    bool running() const { return m_directoryPort != 0; }
    quint16 directoryPort() const { return m_directoryPort; }
    quint16 palPort() const { return m_palPort; }
    QString error() const { return m_error; }

private:
    QTemporaryDir m_folder;
    QThread *m_thread = nullptr;
    quint16 m_directoryPort = 0, m_palPort = 0;
    QString m_error;
};

class Client
{
public:
    // To 127.0.0.1, or to `address` with `socket` when given (one made in another network
    // namespace; the client owns it).
    explicit Client(quint16 port, const char *address = "127.0.0.1", int socket = -1);
    ~Client();
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;
    bool connected() const { return m_fd >= 0; }

    bool send(const QByteArray &bytes);
    // The next line without its terminator; nothing after `ms` or when the server closed.
    std::optional<QByteArray> line(int ms = 3000);
    // Sends and waits for one line.
    std::optional<QByteArray> ask(const QByteArray &bytes, int ms = 3000);
    // True when the server closes the connection within `ms` (what it sends meanwhile is read
    // and dropped).
    bool closedByServer(int ms = 3000);
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    LineSplitter m_splitter{16 * 1024 * 1024};
    std::deque<QByteArray> m_lines;
};

// Starts the program on a free pair of ports (the directory's returned) with these arguments
// and its data folder in `data`; false when it did not come up.
bool startServer(QProcess &p, quint16 *port, const QStringList &arguments, const QString &data);

// A new ID from the server's pal port ("RSN"); 0 when none came.
qint32 newId(const TestServer &server);
qint32 newId(quint16 palPort);

// A login line as the program sends it.
QByteArray loginLine(qint32 id, const QString &name, const QString &email, const QString &location,
                     const QString &comment, int kind, bool listed, qint16 port, bool video = false,
                     bool audio = false);
