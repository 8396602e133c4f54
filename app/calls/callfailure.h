// Why a call failed, in words a person understands: the progress window shows it under the
// status and the activity log keeps it. The reason is built from what the program itself saw
// (the address it called, the error of the connection), never from text a peer sent.
#pragma once

#include <QString>

struct CallFailure {
    enum class Kind {
        None,
        NameNotFound,        // the host name did not resolve
        Refused,             // nothing listens there, or a firewall rejects the call
        NoAnswer,            // no reply to the connection attempt within the time
        Unreachable,         // this machine has no route to the peer
        Busy,                // the peer is in another call
        Declined,            // the peer said no
        DroppedBeforeAnswer, // the control connection closed before an answer
        MediaFailed,         // accepted, but the media connection could not be opened
        DroppedInCall,       // the media connection broke during the call
        PlainRefused,        // the peer cannot encrypt, and this side refuses plain calls
        NotPrivate,          // the encrypted connections could not be set up or did not match
        Other,
    };

    CallFailure() = default;
    CallFailure(Kind kind, const QString &host, quint16 port, const QString &detail = {},
                int waitedSeconds = 0)
        : kind(kind), host(host), port(port), detail(detail), waitedSeconds(waitedSeconds)
    {
    }

    Kind kind = Kind::None;
    QString host;
    quint16 port = 0;
    QString detail; // the connection's own description of the error, when there is one
    int waitedSeconds = 0;

    explicit operator bool() const { return kind != Kind::None; }

    // A failed connect, told apart by the endpoint's error number.
    static CallFailure fromConnect(int status, const QString &description, const QString &host,
                                   quint16 port, int waitedSeconds);

    QString text() const;
    // The activity log's line.
    QString logLine() const;
};
