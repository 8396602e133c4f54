// The directory server protocol (the directory connection, default port 2010): lines of a
// three-letter command and ';'-terminated fields, ended by "<ET>". The client logs in, asks for
// the user list and looks users up by e-mail address; the server answers with lists, notices,
// redirections and lookups.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace Directory
{

inline const QByteArray Terminator = QByteArrayLiteral("<ET>");

// "GEM;address;<ET>": the user whose e-mail address this is (answered by "GER").
struct EmailLookup {
    QString address;
    bool operator==(const EmailLookup &) const = default;
};
QByteArray build(const EmailLookup &lookup);
// A lookup as the server receives it (the line without "<ET>").
std::optional<EmailLookup> parseEmailLookup(const QByteArray &line);

} // namespace Directory
