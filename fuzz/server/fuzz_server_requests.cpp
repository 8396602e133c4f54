// Fuzzes the directory server's request handling end to end: the server runs in this process on
// loopback ports, and each input is a conversation of up to three clients on either port (a
// choice byte picks the client and its port, a length byte the bytes it sends next). Whatever the
// clients send, every answer is a line of its command's shape: a user list has exactly ten fields
// per user with its texts cleaned and cut, a lookup answer five fields, a new ID one within the
// ID range, a reach check's answer its port and YES or NO; and once the clients are gone, nobody
// stays online.
#include "directoryserver.h"
#include "fuzzsupport.h"
#include "protocol/fields.h"
#include "protocol/pal.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Fuzz::require;

namespace
{

struct Server {
    QTemporaryDir folder{Fuzz::scratchTemplate()};
    std::unique_ptr<DirectoryServer> server;

    Server()
    {
        Log::setLevel(Log::Error); // not a line per login
        QString error;
        ServerConfig config;
        config.database = folder.filePath(QStringLiteral("ids.db"));
        config.directoryPort = 0;
        config.palPort = 0;
        config.listenAddress = QStringLiteral("127.0.0.1");
        config.messages = {QStringLiteral("Notice")};
        config.servers = {{QStringLiteral("other.example"), 2010, QStringLiteral("Other")}};
        config.maxLineBytes = 512; // within reach of the fuzzer's inputs
        server = std::make_unique<DirectoryServer>(config);
        require(server->start(&error), "the ID store opens and the server listens");
    }
};

Server *g_server = nullptr;

void turn()
{
    QCoreApplication::processEvents();
}

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    require(::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0, "a client connects");
    return fd;
}

QByteArray drain(int fd)
{
    QByteArray all;
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
        all.append(buffer, n);
    return all;
}

void requireClean(const QString &text, int length)
{
    require(text.size() <= length, "a listed text is cut");
    for (QChar c : text)
        require(c.unicode() >= 0x20 && c != QLatin1Char(';') && c.unicode() != 0x7f,
                "a listed text is clean");
}

// Every line the server sent has its command's shape.
void checkAnswers(const QByteArray &bytes)
{
    using namespace Directory;
    qsizetype start = 0;
    for (qsizetype at; (at = bytes.indexOf(Terminator, start)) >= 0; start = at + 4) {
        const QByteArray line = bytes.mid(start, at - start);
        const int fields = Fields::countFields(line);
        const QByteArray command = line.left(3);
        if (command == "LS1") {
            const auto list = std::get<UserList>(parseReply(line));
            require(fields == 3 + 10 * list.users.size(), "ten fields per listed user");
            require(list.users.size() == std::min(list.listed, MaxUsers), "the listed users");
            for (const User &u : list.users) {
                requireClean(u.name, 64);
                requireClean(u.location, 64);
                requireClean(u.comment, 128);
            }
        } else if (command == "GER") {
            require(fields == 6, "a lookup answer has five fields");
        } else if (command == "RCK") {
            const auto answer = std::get<ReachAnswer>(parseReply(line));
            require(fields == 3 && answer.port > 0 &&
                        (line.endsWith(";YES;") || line.endsWith(";NO;")),
                    "a reach answer names the port asked for and YES or NO");
        } else if (command == "NSN") {
            const qint32 id = std::get<Pal::NewId>(Pal::parseReply(line)).id;
            require(id >= Pal::FirstId && id <= Pal::LastId, "a new ID within the range");
        } else {
            require(command == "INT" || command == "MSG" || command == "VCL" || command == "BSY",
                    "only answers the server sends");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    g_server = Fuzz::startKept<Server>(argc, argv, {"-detect_leaks=0"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Server &s = *g_server;
    Fuzz::Input in(data, size);
    int fds[3] = {-1, -1, -1};
    QByteArray received[3];
    while (!in.done()) {
        const uint8_t pick = in.choice();
        const int client = pick % 3;
        if (fds[client] < 0)
            fds[client] = connectTo((pick & 4) ? s.server->palPort() : s.server->directoryPort());
        const QByteArray bytes = in.take(in.choice());
        ::send(fds[client], bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
        turn();
        received[client] += drain(fds[client]);
    }
    for (int c = 0; c < 3; ++c) {
        if (fds[c] < 0) continue;
        ::shutdown(fds[c], SHUT_WR);
    }
    for (int i = 0; i < 3; ++i)
        turn();
    for (int c = 0; c < 3; ++c) {
        if (fds[c] < 0) continue;
        received[c] += drain(fds[c]);
        ::close(fds[c]);
        checkAnswers(received[c]);
    }
    // Logins wait for the database's thread: the closes are seen once their answers are in.
    for (int i = 0; i < 2000 && (s.server->presence().directoryUsers() > 0 ||
                                 s.server->presence().palUsers() > 0);
         ++i) {
        turn();
        ::usleep(500);
    }
    require(s.server->presence().directoryUsers() == 0 && s.server->presence().palUsers() == 0,
            "nobody stays online once their connection is gone");
    return 0;
}
