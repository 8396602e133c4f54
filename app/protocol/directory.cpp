// Directory server lines.
#include "directory.h"

#include "fields.h"

using namespace Fields;

namespace Directory
{

namespace
{
QByteArray yesNo(bool on)
{
    return on ? QByteArrayLiteral("YES") : QByteArrayLiteral("NO");
}

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

// A message of fields: the command, then each field followed by ';', then "<ET>".
QByteArray message(const char *command, std::initializer_list<QByteArray> fields)
{
    QByteArray m(command);
    if (fields.size() > 0) m += ';';
    for (const QByteArray &f : fields)
        m += f + ';';
    return m + Terminator;
}

QString text(const QByteArray &field)
{
    return peerText(field);
}
} // namespace

// ---- from the client ----------------------------------------------------------------------

QByteArray build(const Login &l)
{
    return message("LGN",
                   {number(l.id), fieldText(l.name), fieldText(l.email), fieldText(l.location),
                    fieldText(l.comment), number(l.kind), yesNo(l.video), yesNo(l.audio),
                    wire(l.version), yesNo(l.listed), "NO", wire(l.revision), number(l.basePort)});
}

QByteArray build(const Intro &)
{
    return "INT" + Terminator;
}

QByteArray build(const ListRequest &)
{
    return "LS1" + Terminator;
}

QByteArray build(const EmailLookup &lookup)
{
    return message("GEM", {fieldText(lookup.address)});
}

QByteArray build(const NewIdRequest &)
{
    return "RSN;" + Terminator;
}

QByteArray build(const ReachCheck &check)
{
    return message("RCK", {number(check.port)});
}

Request parseRequest(const QByteArray &line)
{
    const QByteArray command = line.left(3);
    auto field = [&](int n) { return getField(line, n); };
    if (command == "LGN") {
        if (countFields(line) < 13) return {};
        Login l;
        l.id = val32(field(2));
        l.name = fromWire(field(3));
        l.email = fromWire(field(4));
        l.location = fromWire(field(5));
        l.comment = fromWire(field(6));
        l.kind = val16(field(7));
        l.video = field(8) == "YES";
        l.audio = field(9) == "YES";
        l.version = fromWire(field(10));
        l.listed = field(11) == "YES";
        l.revision = fromWire(field(13));
        l.basePort = val16(field(14));
        return l;
    }
    if (command == "INT") return Intro{};
    if (command == "LS1") return ListRequest{};
    if (command == "RSN") return NewIdRequest{};
    if (command == "GEM" && countFields(line) >= 1) return EmailLookup{fromWire(getField(line, 2))};
    if (command == "RCK" && countFields(line) >= 1) return ReachCheck{val16(getField(line, 2))};
    return {};
}

// ---- from the directory server ------------------------------------------------------------

QByteArray build(const Notice &n)
{
    static const char *const commands[] = {"INT", "MSG", "BSY"};
    return message(commands[n.kind], {fieldText(n.text)});
}

QByteArray build(const Redirect &r)
{
    return message("RDM", {QByteArray(), fieldText(r.host), fieldText(r.port), fieldText(r.text)});
}

QByteArray build(const ServerList &list)
{
    QByteArray m("VCL;");
    for (const ServerChoice &c : list.servers)
        m += fieldText(c.host) + ';' + number(c.port) + ';' + fieldText(c.description) + ';';
    return m + Terminator;
}

QByteArray build(const UserList &list)
{
    QByteArray m = "LS1;" + number(list.online) + ';' + number(list.listed) + ';';
    for (const User &u : list.users) {
        for (const QByteArray &f : {number(u.id), fieldText(u.name), fieldText(u.location),
                                    fieldText(u.address), fieldText(u.comment), number(u.status),
                                    yesNo(u.video), yesNo(u.audio), number(u.kind), number(u.port)})
            m += f + ';';
    }
    return m + Terminator;
}

QByteArray build(const EmailAnswer &a)
{
    return message("GER", {fieldText(a.email), fieldText(a.name), fieldText(a.location),
                           fieldText(a.address), number(a.port)});
}

QByteArray build(const ReachAnswer &a)
{
    return message("RCK", {number(a.port), a.reached ? "YES" : "NO"});
}

namespace
{
// Lists are read field after field in one pass (FieldReader): a hostile line of a few hundred
// thousand empty fields must not keep the program busy for minutes.
ServerList serverList(const QByteArray &line)
{
    ServerList list;
    const QByteArray rest = line.mid(4);
    const FieldReader f(rest);
    const int n = countFields(line) - 1;
    for (int i = 1; i <= n; i += 3)
        list.servers.append({text(f.field(i)), val16(f.field(i + 1)), text(f.field(i + 2))});
    return list;
}

UserList userList(const QByteArray &line, int fields)
{
    UserList list;
    FieldReader f(line);
    f.pop(); // the command
    list.online = val32(f.pop());
    list.listed = val32(f.pop());
    const int n = fields - 3;
    for (int i = 1; i <= n && list.users.size() < MaxUsers; i += 10) {
        User u;
        u.id = val32(f.pop());
        u.name = text(f.pop());
        u.location = text(f.pop());
        u.address = text(f.pop());
        u.comment = text(f.pop());
        u.status = val16(f.pop());
        u.video = f.pop() == "YES";
        u.audio = f.pop() == "YES";
        u.kind = val16(f.pop());
        u.port = val16(f.pop());
        list.users.append(u);
    }
    return list;
}
} // namespace

Reply parseReply(const QByteArray &line)
{
    const QByteArray command = line.left(3);
    const int fields = countFields(line);
    if (command == "INT") return Notice{Notice::Intro, text(getField(line, 2))};
    if (command == "MSG") return Notice{Notice::Message, text(getField(line, 2))};
    if (command == "RDM")
        return Redirect{text(getField(line, 3)), text(getField(line, 4)), text(getField(line, 5))};
    if (command == "BSY") return Notice{Notice::Busy, text(getField(line, 2))};
    if (command == "VCL") return serverList(line);
    if (command == "LS1") return userList(line, fields);
    if (command == "GER")
        return EmailAnswer{text(getField(line, 2)), text(getField(line, 3)),
                           text(getField(line, 4)), text(getField(line, 5)),
                           val16(getField(line, 6))};
    if (command == "RCK" && fields >= 2)
        return ReachAnswer{val16(getField(line, 2)), getField(line, 3) == "YES"};
    return {};
}

QString choiceText(const ServerChoice &choice)
{
    return choice.host + QLatin1Char(':') + QString::number(choice.port) + QStringLiteral("  (") +
           choice.description + QLatin1Char(')');
}

void splitServerAddress(const QString &text, QString *host, qint16 *port)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        *host = text;
        *port = DefaultPort;
        return;
    }
    *host = text.left(colon);
    *port = val16(text.mid(colon + 1, 4));
    // Five digits are read whole when they make a port (up to 32,767).
    QString digits;
    for (const QChar c : text.mid(colon + 1, 5)) {
        if (!c.isDigit()) break;
        digits += c;
    }
    const int whole = digits.toInt();
    if (digits.size() == 5 && whole <= 32767) *port = qint16(whole);
}

} // namespace Directory
