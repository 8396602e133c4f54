// The server's test harness.
#include "harness.h"

#include "directoryserver.h"
#include "idstore.h"
#include "protocol/directory.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>

namespace
{

constexpr int FirstPort = 32000, LastPort = 32700;

bool bindable(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(fd);
    return free;
}

qint64 msSince(const std::chrono::steady_clock::time_point &start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

} // namespace

quint16 freePortPair()
{
    // Each test program starts in a place of its own, by its process id.
    static std::atomic<int> next{FirstPort + int(::getpid() % ((LastPort - FirstPort) / 2)) * 2};
    for (int tries = 0; tries < (LastPort - FirstPort) / 2; ++tries) {
        int base = next.fetch_add(2);
        if (base + 1 >= LastPort) {
            next = FirstPort;
            base = next.fetch_add(2);
        }
        if (bindable(quint16(base)) && bindable(quint16(base + 1))) return quint16(base);
    }
    return 0;
}

TestServer::TestServer(ServerConfig config, const QString &database)
{
    const QString url = database.isEmpty() ? m_folder.filePath(QStringLiteral("ids.db")) : database;
    auto started = std::make_shared<std::promise<std::pair<quint16, quint16>>>();
    auto ports = started->get_future();
    m_thread = QThread::create([config, url, started, this]() mutable {
        config.database = url;
        // Another test may take a pair between our look and our bind: try a few.
        for (int attempt = 0; attempt < 20; ++attempt) {
            const quint16 base = freePortPair();
            config.directoryPort = base;
            config.palPort = base + 1;
            DirectoryServer server(config);
            if (!server.start(&m_error)) continue;
            started->set_value({server.directoryPort(), server.palPort()});
            QEventLoop loop;
            loop.exec();
            return;
        }
        started->set_value({0, 0});
    });
    m_thread->start();
    std::tie(m_directoryPort, m_palPort) = ports.get();
}

TestServer::~TestServer()
{
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

Client::Client(quint16 port, const char *address, int socket)
{
    m_splitter.setTerminator(Directory::Terminator);
    m_fd = socket >= 0 ? socket : ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    if (::connect(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Client::~Client()
{
    if (m_fd >= 0) ::close(m_fd);
}

bool Client::send(const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n =
            ::send(m_fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

std::optional<QByteArray> Client::line(int ms)
{
    const auto start = std::chrono::steady_clock::now();
    while (m_lines.empty()) {
        pollfd p{m_fd, POLLIN, 0};
        const qint64 left = ms - msSince(start);
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0) return std::nullopt;
        char buffer[65536];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0) return std::nullopt;
        for (LinePiece &piece : m_splitter.feed(QByteArray(buffer, n)))
            if (piece.endOfLine) m_lines.push_back(piece.text);
    }
    QByteArray first = m_lines.front();
    m_lines.pop_front();
    return first;
}

std::optional<QByteArray> Client::ask(const QByteArray &bytes, int ms)
{
    if (!send(bytes)) return std::nullopt;
    return line(ms);
}

bool Client::closedByServer(int ms)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        pollfd p{m_fd, POLLIN, 0};
        const qint64 left = ms - msSince(start);
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0) return false;
        char buffer[65536];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return true;
    }
}

bool startServer(QProcess &p, quint16 *port, const QStringList &arguments, const QString &data)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", data);
    p.setProcessEnvironment(environment);
    for (int attempt = 0; attempt < 5; ++attempt) {
        *port = freePortPair();
        p.start(QStringLiteral(OVELA_DIRECTORY_PROGRAM),
                QStringList{"--directory-port", QString::number(*port), "--pal-port",
                            QString::number(*port + 1)} +
                    arguments);
        if (p.waitForReadyRead(10000) && p.canReadLine()) return true;
        p.waitForFinished(); // the ports were taken meanwhile
    }
    return false;
}

qint32 newId(const TestServer &server)
{
    return newId(server.palPort());
}

qint32 newId(quint16 palPort)
{
    Client c(palPort);
    const auto answer = c.ask("RSN;<ET>");
    return answer && answer->startsWith("NSN;") ? answer->mid(4).chopped(1).toInt() : 0;
}

QByteArray loginLine(qint32 id, const QString &name, const QString &email, const QString &location,
                     const QString &comment, int kind, bool listed, qint16 port, bool video,
                     bool audio)
{
    Directory::Login l;
    l.id = id;
    l.name = name;
    l.email = email;
    l.location = location;
    l.comment = comment;
    l.kind = kind;
    l.listed = listed;
    l.basePort = port;
    l.video = video;
    l.audio = audio;
    return Directory::build(l);
}

bool waitForLog(QProcess &p, QByteArray &log, const QByteArray &text, int ms)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        log += p.readAllStandardError();
        if (log.contains(text)) return true;
        if (timer.elapsed() > ms) return false;
        p.waitForReadyRead(50);
    }
}

QString writeConfig(const QTemporaryDir &dir, const QByteArray &text)
{
    QFile file(dir.filePath(QStringLiteral("server.ini")));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) return {};
    return file.fileName();
}
