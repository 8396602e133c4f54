// Calls between two real programs through a relay on the wire: an encrypted call shows the relay
// nothing it could read, a relay that ends the encryption with a key of its own is seen by both
// sides, and a program that does not encrypt gets the plain call it always had, unless plain
// calls are refused.
#include "callrunner.h"
#include "freeports.h"
#include "platform/tlsidentity.h"

#include <QEventLoop>
#include <QMutex>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>

namespace
{

// Takes connections as TLS with the relay's own key.
class TlsServer : public QTcpServer
{
public:
    explicit TlsServer(const QSslConfiguration &tls) : m_tls(tls) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->setSslConfiguration(m_tls);
        socket->startServerEncryption();
        addPendingConnection(socket);
    }

private:
    QSslConfiguration m_tls;
};

// Listens on the four call ports from `base` and joins each connection to the same port from
// `target`, keeping every byte that crosses (both ways, per port). With `ownKey`, the media and
// text connections are decrypted here and encrypted again with that key on both sides, as a man
// in the middle would. It runs on a thread of its own, since the programs are waited for.
class Relay
{
public:
    Relay(quint16 base, quint16 target, std::optional<QSslConfiguration> ownKey)
    {
        QSemaphore ready;
        m_thread.reset(QThread::create([this, base, target, ownKey, &ready] {
            std::vector<std::unique_ptr<QTcpServer>> servers;
            bool ok = true;
            for (int port = 0; port < 4; ++port) {
                const bool ended = ownKey && (port == 1 || port == 3);
                servers.push_back(ended ? std::make_unique<TlsServer>(*ownKey)
                                        : std::make_unique<QTcpServer>());
                QTcpServer *server = servers.back().get();
                ok = ok && server->listen(QHostAddress::LocalHost, quint16(base + port));
                QObject::connect(server, &QTcpServer::newConnection, server, [=, this] {
                    while (QTcpSocket *in = server->nextPendingConnection())
                        join(in, quint16(target + port), ended ? ownKey : std::nullopt, port);
                });
            }
            m_listening = ok;
            ready.release();
            QEventLoop loop;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
                if (m_stop) loop.quit();
            });
            poll.start(20);
            loop.exec();
        }));
        m_thread->start();
        ready.acquire();
    }
    ~Relay()
    {
        m_stop = true;
        m_thread->wait();
    }
    bool listening() const { return m_listening; }
    QByteArray wire(int port) const
    {
        QMutexLocker lock(&m_mutex);
        return m_wire[port];
    }

private:
    void join(QTcpSocket *in, quint16 port, const std::optional<QSslConfiguration> &tls, int index)
    {
        QTcpSocket *out = nullptr;
        if (tls) {
            auto *secure = new QSslSocket(in);
            secure->setSslConfiguration(*tls);
            secure->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
            out = secure;
        } else {
            out = new QTcpSocket(in);
            out->connectToHost(QHostAddress::LocalHost, port);
        }
        const auto pass = [this, index](QTcpSocket *from, QTcpSocket *to) {
            const QByteArray data = from->readAll();
            {
                QMutexLocker lock(&m_mutex);
                m_wire[index] += data;
            }
            to->write(data);
        };
        QObject::connect(in, &QTcpSocket::readyRead, in, [=] { pass(in, out); });
        QObject::connect(out, &QTcpSocket::readyRead, in, [=] { pass(out, in); });
        QObject::connect(in, &QTcpSocket::disconnected, out, &QTcpSocket::disconnectFromHost);
        QObject::connect(out, &QTcpSocket::disconnected, in, &QTcpSocket::disconnectFromHost);
    }

    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_listening{false}, m_stop{false};
    mutable QMutex m_mutex;
    QByteArray m_wire[4];
};

struct RelayedCall {
    CallRunner::Result result;
    QByteArray wire[4];
};

// A call whose caller reaches the callee through a relay.
RelayedCall callThroughRelay(CallRunner::Options options,
                             std::optional<QSslConfiguration> ownKey = std::nullopt)
{
    options.program = QStringLiteral(OVELA_BINARY);
    std::unique_ptr<Relay> relay;
    options.beforeCall = [&](CallRunner::Program &, quint16 calleePort, QString *error) {
        // Below the system's ephemeral ports, which a program's own connections may hold.
        const quint16 base = FreePorts::basePort(32000, 32760);
        relay = std::make_unique<Relay>(base, calleePort, ownKey);
        if (!relay->listening()) *error = QStringLiteral("the relay could not listen");
        return relay->listening() ? base : quint16(0);
    };
    RelayedCall call;
    call.result = CallRunner::run(options);
    for (int port = 0; port < 4 && relay; ++port)
        call.wire[port] = relay->wire(port);
    return call;
}

QString codeIn(const QString &log)
{
    static const QRegularExpression line(
        QStringLiteral("is encrypted; its code is (\\d{3} \\d{3})"));
    return line.match(log).captured(1);
}

// What of a call would be readable on the wire: a media packet's tag with its length field (a
// picture's with the JPEG start marker after it), or a chat line's text. Three bytes alone would
// turn up by chance in a megabyte of ciphertext (a tag did, once).
QString readable(const QByteArray &wire)
{
    static const QRegularExpression packet(
        QStringLiteral("(KJP[0-9]{5}\\x{ff}\\x{d8}\\x{ff}|AUD[0-9]{5}|TXT[0-9]{5}|Hello from Bo|Hi "
                       "Bo, Ana here)"));
    return packet.match(QString::fromLatin1(wire)).captured(1);
}

QByteArray privacy(bool encrypt, bool refusePlain)
{
    return QByteArray("EncryptCalls=") + (encrypt ? "1" : "0") +
           "\r\nRefusePlainCalls=" + (refusePlain ? "1" : "0") + "\r\n";
}

void expectAWorkingCall(const CallRunner::Result &r)
{
    ASSERT_TRUE(r.ran) << r.error.toStdString();
    for (const CallRunner::Side *side : {&r.callee, &r.caller}) {
        EXPECT_GT(side->report.picturesReceived, 30);
        EXPECT_GT(side->picturePsnr, 27.0);
        EXPECT_GE(side->report.chatLinesReceived, 2);
    }
    EXPECT_GT(r.speechCorrelation, 0.8);
}

} // namespace

TEST(PrivateCalls, AnEncryptedCallShowsTheWireNothingReadableAndBothSidesOneCode)
{
    const RelayedCall call = callThroughRelay({});
    expectAWorkingCall(call.result);
    // Both sides said they can encrypt (the answer and both capability records), on the control
    // connection, which stays plain.
    EXPECT_EQ(call.wire[0].count("TLS13"), 3);
    EXPECT_GT(call.wire[1].size(), 100000) << "the pictures crossed the relay";
    for (const int port : {1, 3}) {
        EXPECT_GT(call.wire[port].size(), 0) << port;
        EXPECT_TRUE(readable(call.wire[port]).isEmpty())
            << "port +" << port << " carries " << readable(call.wire[port]).toStdString();
    }
    const QString code = codeIn(call.result.caller.log);
    EXPECT_FALSE(code.isEmpty()) << call.result.caller.log.toStdString();
    EXPECT_EQ(codeIn(call.result.callee.log), code);
}

TEST(PrivateCalls, ARelayWithAKeyOfItsOwnGivesTwoCodesAndTheKeyChangeWarning)
{
    // The callee knows the caller's real key from an earlier call.
    QTemporaryDir keys;
    QString note;
    const TlsIdentity bo = TlsIdentity::loadOrCreate(keys.filePath("bo"), &note);
    const TlsIdentity relayKey = TlsIdentity::loadOrCreate(keys.filePath("relay"), &note);
    ASSERT_TRUE(bo.valid() && relayKey.valid()) << note.toStdString();
    QFile boFile(keys.filePath("bo"));
    ASSERT_TRUE(boFile.open(QIODevice::ReadOnly));
    CallRunner::Options options;
    options.callerFiles.insert(QStringLiteral("cfg/ovela/callkey"), boFile.readAll());
    options.calleeFiles.insert(QStringLiteral("palkeys"), bo.keyId().toHex() + " Bo Smith\r\n");
    options.timeoutMs = 15000;

    const RelayedCall call = callThroughRelay(options, relayKey.configuration());
    ASSERT_TRUE(call.result.ran) << call.result.error.toStdString();
    const QString callerCode = codeIn(call.result.caller.log);
    const QString calleeCode = codeIn(call.result.callee.log);
    EXPECT_FALSE(callerCode.isEmpty());
    EXPECT_FALSE(calleeCode.isEmpty());
    EXPECT_NE(callerCode, calleeCode);
    EXPECT_TRUE(call.result.callee.log.contains(
        QStringLiteral("The key of Bo Smith has changed since your last call.")))
        << call.result.callee.log.toStdString();
    // The warned side holds the call: nothing of the call reaches it until the user goes on.
    EXPECT_EQ(call.result.callee.report.picturesReceived, 0);
}

TEST(PrivateCalls, AProgramThatDoesNotEncryptGetsAPlainCallUnlessPlainCallsAreRefused)
{
    // A program with encryption off sends exactly the answers an older program sends.
    {
        CallRunner::Options options;
        options.calleeFiles.insert(QStringLiteral("cfg/ovela/privacy"), privacy(false, false));
        const RelayedCall call = callThroughRelay(options);
        expectAWorkingCall(call.result);
        EXPECT_FALSE(call.wire[0].contains("TLS13"));
        EXPECT_FALSE(readable(call.wire[1]).isEmpty()) << "a plain call shows its packets";
        EXPECT_TRUE(codeIn(call.result.caller.log).isEmpty());
    }
    struct Case {
        const char *refuser;
        bool callerRefuses;
    };
    for (const Case c : {Case{"caller", true}, Case{"callee", false}}) {
        CallRunner::Options options;
        options.timeoutMs = 5000;
        (c.callerRefuses ? options.callerFiles : options.calleeFiles)
            .insert(QStringLiteral("cfg/ovela/privacy"), privacy(true, true));
        (c.callerRefuses ? options.calleeFiles : options.callerFiles)
            .insert(QStringLiteral("cfg/ovela/privacy"), privacy(false, false));
        const RelayedCall call = callThroughRelay(options);
        ASSERT_TRUE(call.result.ran) << call.result.error.toStdString();
        const CallRunner::Side &refuser = c.callerRefuses ? call.result.caller : call.result.callee;
        // The callee may see the media connection before the capability record: either way
        // the call ends, and the log says why.
        EXPECT_TRUE(refuser.log.contains(QStringLiteral("refuse plain calls")))
            << c.refuser << ": " << refuser.log.toStdString();
        EXPECT_EQ(call.result.callee.report.picturesReceived +
                      call.result.caller.report.picturesReceived,
                  0)
            << c.refuser << ": no call";
    }
}
