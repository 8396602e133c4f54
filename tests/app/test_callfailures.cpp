// Every way an outgoing call can fail, each against a peer that fails it that way for real: a
// name that does not resolve, a port nobody listens on, a listener whose queue is full so that
// connection attempts go unanswered, and a scripted callee that says busy, declines, drops the
// connection or accepts without a media port. The progress window keeps its status text and
// says why underneath; the log says why once.
#include "testsupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;

namespace
{

// A listener that takes one connection into its queue and never accepts it: every later
// attempt goes unanswered, as when a router on the way drops the packets.
class UnansweringListener
{
public:
    explicit UnansweringListener(quint16 port)
    {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(port);
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const auto *address = reinterpret_cast<const sockaddr *>(&at);
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        m_filler = ::socket(AF_INET, SOCK_STREAM, 0);
        m_ready = ::bind(m_listener, address, sizeof at) == 0 && ::listen(m_listener, 0) == 0 &&
                  ::connect(m_filler, address, sizeof at) == 0;
    }
    ~UnansweringListener()
    {
        ::close(m_filler);
        ::close(m_listener);
    }
    bool ready() const { return m_ready; }

private:
    int m_listener = -1, m_filler = -1;
    bool m_ready = false;
};

struct FailureCase {
    const char *what;
    enum { Scripted, Nobody, Unanswering, BadName } peer;
    QByteArray answer; // what the scripted callee says to the request; empty: it hangs up
    qint16 state;
    QString status; // the progress window's status text; empty when the window closes
    QString reason; // words the reason must contain (%1: the port called, %2: the next)
};

int logLinesWith(ActivityLog &log, const QString &text)
{
    int n = 0;
    for (const QString &line : log.entries())
        n += line.contains(text);
    return n;
}

} // namespace

TEST(CallFailures, EachFailedCallSaysWhyInTheWindowAndTheLog)
{
    const FailureCase cases[] = {
        {"name", FailureCase::BadName, {}, CallStates::Cancelled, {}, "could not be found"},
        {"refused",
         FailureCase::Nobody,
         {},
         CallStates::NoAnswer,
         "Did Not Answer",
         "127.0.0.1:%1 refused the connection: OVELA is not running there, or a firewall"},
        {"no answer",
         FailureCase::Unanswering,
         {},
         CallStates::NoAnswer,
         "Did Not Answer",
         "No answer from 127.0.0.1:%1 within 2 seconds: a router or firewall on the way probably "
         "drops the call. Help > Connection Doctor (ovela --doctor)"},
        {"busy", FailureCase::Scripted, "BSY", CallStates::Busy, "Busy",
         "The person at 127.0.0.1 is in another call"},
        {"declined", FailureCase::Scripted, "RRS;NO;", CallStates::AnswerNo,
         "Connection Response is NO", "The person at 127.0.0.1 declined the call."},
        {"dropped",
         FailureCase::Scripted,
         {},
         CallStates::NoAnswer,
         "Did Not Answer",
         "The connection to 127.0.0.1 closed before an answer came"},
        {"no media port", FailureCase::Scripted, "RRS;YES;Bo;Rome;10:30;", CallStates::NoAnswer,
         "Did Not Answer", "pictures and sound to 127.0.0.1:%2 failed"},
    };
    TestProgram t;
    t.start();
    t->signalling().setConnectTimeout(2000);
    OutgoingCall &call = t->outgoing();
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.what);
        const quint16 port = freeBasePort();
        std::unique_ptr<RawListener> callee;
        std::unique_ptr<UnansweringListener> unanswering;
        if (c.peer == FailureCase::Scripted) callee = std::make_unique<RawListener>(port);
        if (c.peer == FailureCase::Unanswering) {
            unanswering = std::make_unique<UnansweringListener>(port);
            ASSERT_TRUE(unanswering->ready());
        }
        const auto failedBefore = logLinesWith(t->log(), "Call failed: ");

        call.placeCall(c.peer == FailureCase::BadName ? "no-such-host.invalid" : "127.0.0.1", port,
                       0);
        if (callee) {
            RawConnection *control = callee->waitForConnection();
            ASSERT_TRUE(control && control->waitFor("RQC;"));
            if (c.answer.isEmpty())
                control->close();
            else
                control->send(c.answer);
        }
        ASSERT_TRUE(waitUntil([&] { return t->session().callState() == c.state; }, 5000));
        call.tick();
        const QString reason = t->session().failure().text();
        const QString expected = QString(c.reason)
                                     .replace("%1", QString::number(port))
                                     .replace("%2", QString::number(port + 1));
        EXPECT_THAT(reason.toStdString(), HasSubstr(expected.toStdString()));
        EXPECT_EQ(logLinesWith(t->log(), "Call failed: "), failedBefore + 1);
        EXPECT_EQ(logLinesWith(t->log(), "Call failed: " + reason), 1);
        if (c.status.isEmpty()) {
            // The system's own message about the address stays as it was, the reason below it.
            EXPECT_FALSE(call.windowOpen());
            EXPECT_EQ(t.messages.info.last().section('\n', 1), reason);
            EXPECT_TRUE(t.messages.info.last().startsWith(
                "You have entered an invalid Host Address: 11001 "));
        } else {
            ASSERT_TRUE(call.windowOpen());
            EXPECT_EQ(call.status(), c.status);
            EXPECT_EQ(call.reason(), reason);
            EXPECT_EQ(call.cancelText(), "OK");
            call.cancel();
        }
    }
    call.placeCall("127.0.0.1", freeBasePort(), 0);
    EXPECT_EQ(call.reason(), "") << "the next call starts without the last one's reason";
    call.cancel();
}
