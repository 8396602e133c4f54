// The quick message protocol, on a short connection from the sender's compose window to the
// recipient's base port + 2. Every unit is a line of ';'-ended fields and "<E>":
//   MSR;id;        the sender asks          MRA; / MRD;   accepted / refused
//   MSB;id;name;e-mail;location;time;text;  the message; each item is answered MRN;
//   MDI;length;bytes;   the picture           MDA;length;bytes;   one audio chunk (no answer)
//   MAF;           the audio is over (MRN)  MSE;          the end: the recipient closes
// A picture and an audio chunk are raw bytes after their length field, unescaped. The Reader
// takes them by their length, so a payload holding the bytes "<E>" arrives whole.
#pragma once

#include <QByteArray>
#include <QString>

#include <variant>
#include <vector>

namespace QuickMessage
{

inline const QByteArray Terminator = QByteArrayLiteral("<E>");
constexpr int Slots = 10;
constexpr int MaxPicture = 8000;   // bytes of one picture
constexpr int MaxChunks = 60;      // audio chunks one message holds
constexpr int MaxChunk = 2000;     // bytes of one audio chunk
constexpr int MaxLine = 64 * 1024; // a line without its terminator past this ends the connection

struct Request {
    qint32 id = 0;
    bool operator==(const Request &) const = default;
};
struct Accepted {
    bool operator==(const Accepted &) const = default;
};
struct Refused {
    bool operator==(const Refused &) const = default;
};
struct Body {
    qint32 id = 0;
    QString name, email, location, time, text;
    bool operator==(const Body &) const = default;
};
struct Next {
    bool operator==(const Next &) const = default;
};
struct Picture {
    QByteArray jpeg;
    bool operator==(const Picture &) const = default;
};
struct AudioChunk {
    QByteArray block;
    bool operator==(const AudioChunk &) const = default;
};
struct AudioEnd {
    bool operator==(const AudioEnd &) const = default;
};
struct End {
    bool operator==(const End &) const = default;
};

QByteArray build(const Request &);
QByteArray build(const Accepted &);
QByteArray build(const Refused &);
QByteArray build(const Body &);
QByteArray build(const Next &);
QByteArray build(const Picture &);
QByteArray build(const AudioChunk &);
QByteArray build(const AudioEnd &);
QByteArray build(const End &);

using Message = std::variant<std::monostate, Request, Accepted, Refused, Body, Next, Picture,
                             AudioChunk, AudioEnd, End>;
// One line without its terminator, read field by field; a payload keeps at most its length's
// first bytes, and never more than the limits above.
Message parse(const QByteArray &line);

// The messages in one connection's byte stream, as they complete. A picture or an audio chunk
// whose length lies within the limits is read by that length when the bytes after it are the
// field's ";<E>"; any other line ends at the first "<E>", as every line once did.
class Reader
{
public:
    // Takes newly arrived bytes; returns the messages now complete, in order.
    std::vector<Message> feed(const QByteArray &bytes);
    // A line grew past MaxLine without its terminator: the connection should be closed.
    bool overflowed() const { return m_overflowed; }
    qsizetype buffered() const { return m_buffer.size(); }

private:
    // The length of the next unit at the start of the buffer (terminator included), 0 when it
    // has not all arrived yet.
    qsizetype nextUnit();

    QByteArray m_buffer;
    // No terminator begins before this place in the buffer: a line that arrives a byte at a time
    // is searched once, not again with every byte.
    qsizetype m_searched = 0;
    bool m_overflowed = false;
};

} // namespace QuickMessage
