// Packets on a call's media connection: a three-letter tag, the payload length as five decimal
// digits, the raw payload and "<E>". The program sends pictures ("KJP", a JPEG still), speech
// ("AUD", a GSM block) and chat lines ("TXT", UTF-8 text); the video engine's packet parser reads
// every kind that arrives.
#pragma once

#include <QByteArray>
#include <QString>

namespace MediaPacket
{

inline const QByteArray Terminator = QByteArrayLiteral("<E>");
// The tag and the length field.
constexpr qsizetype HeaderBytes = 8;
// Largest payload the five-digit length field can carry.
constexpr qsizetype MaxPayload = 99999;
// Largest text payload sent: the peer's payload buffer holds 29,000 bytes.
constexpr qsizetype MaxTextPayload = 28000;

// A packet with its terminator; empty when the payload is too long for the length field.
QByteArray build(const char *tag, const QByteArray &payload);
inline QByteArray picture(const QByteArray &jpeg)
{
    return build("KJP", jpeg);
}
inline QByteArray speech(const QByteArray &gsmBlock)
{
    return build("AUD", gsmBlock);
}
// A chat line; one longer than MaxTextPayload bytes is cut at a character boundary.
QByteArray text(const QString &line);

// A packet as its connection delivered it (without "<E>"), read by its header.
struct Header {
    QByteArray tag;
    int declared = 0; // the length field's value; 0 when it holds no number
    // The bytes that belong to the packet: the header and at most the declared payload.
    qsizetype length = 0;
};
Header header(const QByteArray &line);
// The text of a "TXT" packet.
QString textOf(const QByteArray &line, const Header &header);

} // namespace MediaPacket
