// The call control protocol on the control connection (base port, no terminator: each arrival is
// one message). The caller sends the request; the callee answers yes or no, or busy; then both
// exchange their capability records.
//   RQC;name;location;time;        request a call
//   RRS;YES;name;location;time;    accepted      RRS;NO;   declined
//   BSY                            already in a call
//   UIF;version;True|False;        the program's version and its real-time chat flag
// A program that can encrypt calls adds one more field to its RRS;YES and its UIF, "TLS13";
// programs that cannot read only the fields before it. A call whose RRS and UIF both carry it
// runs its media and text connections over TLS 1.3.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTime>

#include <variant>

namespace CallControl
{

inline const QString Version = QStringLiteral("2.5");
// The local time of day as a request or an answer carries it: the hour without a leading zero,
// ':', the two-digit minute ("9:05").
QString timeOfDay(const QTime &time = QTime::currentTime());
// Names, places and times from a peer are cut to this many bytes.
constexpr int MaxPeerField = 256;

struct Request {
    QString name, location, time;
    bool operator==(const Request &) const = default;
};
struct Answer {
    bool yes = false;
    QString name, location, time; // only with yes
    bool encrypts = false;        // only with yes
    bool operator==(const Answer &) const = default;
};
struct Busy {
    bool operator==(const Busy &) const = default;
};
struct Capability {
    QString version;
    bool realTime = false;
    bool encrypts = false;
    bool operator==(const Capability &) const = default;
};

QByteArray build(const Request &request);
QByteArray build(const Answer &answer);
QByteArray build(const Busy &busy);
QByteArray build(const Capability &capability);

// One message of either side; monostate for an unknown command or a line without the fields its
// command needs (a request needs exactly four ';', an answer at least two). Texts are cut and
// cleaned as peerText does.
using Message = std::variant<std::monostate, Request, Answer, Busy, Capability>;
Message parse(const QByteArray &line);

} // namespace CallControl
