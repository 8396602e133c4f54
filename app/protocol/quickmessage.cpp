// Quick message lines.
#include "quickmessage.h"

#include "fields.h"

#include <algorithm>

using namespace Fields;

namespace QuickMessage
{

namespace
{
QByteArray line(const char *command)
{
    return QByteArray(command) + ';' + Terminator;
}

QByteArray payload(const char *command, const QByteArray &bytes)
{
    return QByteArray(command) + ';' + QByteArray::number(bytes.size()) + ';' + bytes + ';' +
           Terminator;
}

// The payload after the length field: at most `length` bytes, and at most `limit`.
QByteArray payloadOf(QByteArray &rest, int limit)
{
    const qint32 length = val32(popField(rest));
    if (length <= 0) return {};
    return rest.left(std::min(length, limit));
}
} // namespace

QByteArray build(const Request &r)
{
    return "MSR;" + QByteArray::number(r.id) + ';' + Terminator;
}

QByteArray build(const Accepted &)
{
    return line("MRA");
}

QByteArray build(const Refused &)
{
    return line("MRD");
}

QByteArray build(const Body &b)
{
    return "MSB;" + QByteArray::number(b.id) + ';' + fieldText(b.name) + ';' + fieldText(b.email) +
           ';' + fieldText(b.location) + ';' + fieldText(b.time) + ';' +
           multiLineFieldText(b.text) + ';' + Terminator;
}

QByteArray build(const Next &)
{
    return line("MRN");
}

QByteArray build(const Picture &p)
{
    return payload("MDI", p.jpeg);
}

QByteArray build(const AudioChunk &c)
{
    return payload("MDA", c.block);
}

QByteArray build(const AudioEnd &)
{
    return line("MAF");
}

QByteArray build(const End &)
{
    return line("MSE");
}

Message parse(const QByteArray &text)
{
    QByteArray rest = text;
    const QByteArray command = popField(rest);
    if (command == "MSR") return Request{val32(popField(rest))};
    if (command == "MRA") return Accepted{};
    if (command == "MRD") return Refused{};
    if (command == "MSB") {
        Body b;
        b.id = val32(popField(rest));
        b.name = peerText(popField(rest));
        b.email = peerText(popField(rest));
        b.location = peerText(popField(rest));
        b.time = peerText(popField(rest));
        b.text = fromWire(popField(rest));
        return b;
    }
    if (command == "MRN") return Next{};
    if (command == "MDI") return Picture{payloadOf(rest, MaxPicture)};
    if (command == "MDA") return AudioChunk{payloadOf(rest, MaxChunk)};
    if (command == "MAF") return AudioEnd{};
    if (command == "MSE") return End{};
    return {};
}

qsizetype Reader::nextUnit()
{
    // Called for every piece that arrives, so it allocates nothing: a sender trickling a picture
    // a byte at a time costs a look at the line's head per byte.
    const QByteArrayView b(m_buffer);
    // A payload line: "MDI;" or "MDA;", the length, ';', the bytes, ";<E>".
    const bool picture = b.startsWith("MDI;");
    if (picture || b.startsWith("MDA;")) {
        const qsizetype semi = b.first(std::min<qsizetype>(b.size(), 13)).indexOf(';', 4);
        if (semi > 4 && semi <= 12) {
            bool ok = false;
            const int length = b.sliced(4, semi - 4).toInt(&ok);
            const int limit = picture ? MaxPicture : MaxChunk;
            if (ok && length > 0 && length <= limit) {
                const qsizetype end = semi + 1 + length; // the ';' before the terminator
                const qsizetype unit = end + 1 + Terminator.size();
                if (b.size() < unit) return 0;
                if (b[end] == ';' && b.sliced(end + 1).startsWith(Terminator)) return unit;
            }
        }
    }
    const qsizetype eol = b.indexOf(Terminator, m_searched);
    if (eol >= 0) return eol + Terminator.size();
    m_searched = std::max<qsizetype>(0, b.size() - (Terminator.size() - 1));
    return 0;
}

std::vector<Message> Reader::feed(const QByteArray &bytes)
{
    std::vector<Message> out;
    if (m_overflowed) return out;
    m_buffer += bytes;
    qsizetype unit;
    while ((unit = nextUnit()) > 0) {
        out.push_back(parse(m_buffer.left(unit - Terminator.size())));
        m_buffer.remove(0, unit);
        m_searched = 0;
    }
    // The longest line is a picture of MaxPicture bytes; anything far longer is no message.
    if (m_buffer.size() > MaxLine) {
        m_overflowed = true;
        m_buffer.clear();
        m_searched = 0;
    }
    return out;
}

} // namespace QuickMessage
