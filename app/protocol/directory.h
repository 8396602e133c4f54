// The directory server protocol (the directory connection, default port 2010) and the pal
// server's requests, which share its format: a three-letter command, fields each followed by ';',
// and "<ET>". The client logs in, asks for the user list and looks users up by e-mail address;
// the server answers with notices, redirections, other servers, the user list and lookups.
// Builders give the bytes with their terminator; parsers take a line without it. Texts a server
// sends for showing are cut and cleaned as peerText does.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <variant>

namespace Directory
{

inline const QByteArray Terminator = QByteArrayLiteral("<ET>");
inline const QString Revision = QStringLiteral("v1.2");
// The most users one list carries; a client ignores the rest.
constexpr int MaxUsers = 500;
// The login's kind field: the directory connection, the pal connection.
constexpr int DirectoryLogin = 0, PalLogin = 3;

// ---- from the client ----------------------------------------------------------------------

// "LGN;" id name e-mail location comment kind V A version S "NO" revision base-port
struct Login {
    qint32 id = -1;
    QString name, email, location, comment;
    int kind = DirectoryLogin;
    bool video = false, audio = false;
    QString version = QStringLiteral("2.5");
    bool listed = false;
    QString revision = Revision;
    qint16 basePort = 2000;
    bool operator==(const Login &) const = default;
};
struct Intro { // "INT": asks for the welcome text
    bool operator==(const Intro &) const = default;
};
struct ListRequest { // "LS1": asks for the user list
    bool operator==(const ListRequest &) const = default;
};
struct EmailLookup { // "GEM": asks who has this e-mail address (answered by "GER")
    QString address;
    bool operator==(const EmailLookup &) const = default;
};
struct NewIdRequest { // "RSN" (pal server): asks for a user ID
    bool operator==(const NewIdRequest &) const = default;
};
// "RCK" port: asks the server to open a TCP connection back to the asking address on that port
// and say whether it could ("RCK" port "YES"/"NO"). A server that does not know it stays silent.
struct ReachCheck {
    qint16 port = 0;
    bool operator==(const ReachCheck &) const = default;
};

QByteArray build(const Login &login);
QByteArray build(const Intro &);
QByteArray build(const ListRequest &);
QByteArray build(const EmailLookup &lookup);
QByteArray build(const NewIdRequest &);
QByteArray build(const ReachCheck &check);

// A request as a server receives it; monostate for anything else. Fields come raw (a server
// cleans what it stores).
using Request =
    std::variant<std::monostate, Login, Intro, ListRequest, EmailLookup, NewIdRequest, ReachCheck>;
Request parseRequest(const QByteArray &line);

// ---- from the directory server ------------------------------------------------------------

// "INT", "MSG" or "BSY" with a text: welcome, notice, or no room here.
struct Notice {
    enum Kind { Intro, Message, Busy };
    Kind kind = Message;
    QString text;
    bool operator==(const Notice &) const = default;
};
// "RDM" (a field the client ignores), host, port, text: another server is offered.
struct Redirect {
    QString host, port, text;
    bool operator==(const Redirect &) const = default;
};
// "VCL": host, port, description, repeated: the other servers to choose from.
struct ServerChoice {
    QString host;
    qint16 port = 0;
    QString description;
    bool operator==(const ServerChoice &) const = default;
};
struct ServerList {
    QList<ServerChoice> servers;
    bool operator==(const ServerList &) const = default;
};
// "LS1": online count, listed count, then ten fields per listed user.
struct User {
    qint32 id = 0; // 1 to 1,000,000: the user can receive quick messages
    QString name, location, address, comment;
    qint16 status = 0;
    bool video = false, audio = false; // exactly "YES" on the wire
    qint16 kind = 0;
    qint16 port = 0; // the user's base port
    bool operator==(const User &) const = default;
};
struct UserList {
    qint32 online = 0, listed = 0;
    QList<User> users; // at most MaxUsers
    bool operator==(const UserList &) const = default;
};
// "GER": e-mail, name, location, address, port; address "0.0.0.0" when nobody has it.
struct EmailAnswer {
    QString email, name, location, address;
    qint16 port = 0;
    bool operator==(const EmailAnswer &) const = default;
    bool found() const { return address != QLatin1String("0.0.0.0"); }
};
inline const QString NotFoundAddress = QStringLiteral("0.0.0.0");
// "RCK": whether the server's connection back to the asker's port was taken.
struct ReachAnswer {
    qint16 port = 0;
    bool reached = false;
    bool operator==(const ReachAnswer &) const = default;
};

QByteArray build(const Notice &notice);
QByteArray build(const Redirect &redirect);
QByteArray build(const ServerList &list);
QByteArray build(const UserList &list);
QByteArray build(const EmailAnswer &answer);
QByteArray build(const ReachAnswer &answer);

// A directory server's message as the client reads it: fields by position; fields missing at the
// end of a short message read as empty (numbers as 0); users past MaxUsers are dropped.
using Reply =
    std::variant<std::monostate, Notice, Redirect, ServerList, UserList, EmailAnswer, ReachAnswer>;
Reply parseReply(const QByteArray &line);

// The directory window's entry for a server choice: host ":" port "  (" description ")".
QString choiceText(const ServerChoice &choice);
// "host:port" as typed or chosen: without ':' the whole text and port 2010; otherwise the text
// before the first ':' and the value of at most four characters after it, or of five digits when
// they make a port (up to 32,767): the options and the directory window read it alike.
void splitServerAddress(const QString &text, QString *host, qint16 *port);
constexpr qint16 DefaultPort = 2010;

} // namespace Directory
