// The server's log: one line per event on stderr, where journald (or whoever started the server)
// picks it up, as "ovela-directory: LEVEL: message". Lines below the chosen level are left out.
// Whatever came from the network is written escaped: a control character in a user's name shows
// as "\n" or "\x01" and cannot start a line of its own.
#pragma once

#include <QHash>
#include <QString>

#include <optional>

namespace Log
{

enum Level { Debug, Info, Warning, Error };

// "debug", "info", "warning" or "error", in any case.
std::optional<Level> levelNamed(const QString &name);
QString nameOf(Level level);

void setLevel(Level least); // Info at first
bool enabled(Level level);

void write(Level level, const QString &message);
inline void debug(const QString &message)
{
    write(Debug, message);
}
inline void info(const QString &message)
{
    write(Info, message);
}
inline void warning(const QString &message)
{
    write(Warning, message);
}
inline void error(const QString &message)
{
    write(Error, message);
}

// A text from the network in double quotes, '"' and '\' escaped with '\'.
QString quoted(const QString &text);

// For what a client can repeat as fast as it connects: one line per address a minute, the rest
// only counted, so a flood does not become a flood of lines.
class Throttle
{
public:
    bool allows(quint32 address, qint64 nowMs); // false: left out and counted
    int takeLeftOut();                          // how many since the last call

private:
    QHash<quint32, qint64> m_last; // when each address last had a line
    int m_leftOut = 0;
};

} // namespace Log
