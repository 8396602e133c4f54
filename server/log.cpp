// The server's log.
#include "log.h"

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace
{

Log::Level g_least = Log::Info;
const char *const Names[] = {"debug", "info", "warning", "error"};

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c < 0xa0) || c == 0x2028 || c == 0x2029;
}

} // namespace

namespace Log
{

std::optional<Level> levelNamed(const QString &name)
{
    for (int level = Debug; level <= Error; ++level)
        if (name.trimmed().compare(QLatin1String(Names[level]), Qt::CaseInsensitive) == 0)
            return Level(level);
    return std::nullopt;
}

QString nameOf(Level level)
{
    return QLatin1String(Names[level]);
}

void setLevel(Level least)
{
    g_least = least;
}

bool enabled(Level level)
{
    return level >= g_least;
}

void write(Level level, const QString &message)
{
    if (!enabled(level)) return;
    QString line = QStringLiteral("ovela-directory: ") + nameOf(level) + QStringLiteral(": ");
    line.reserve(line.size() + message.size() + 1);
    for (const QChar c : message) {
        if (!isControl(c.unicode())) {
            line += c;
        } else if (c == QLatin1Char('\n')) {
            line += QStringLiteral("\\n");
        } else if (c == QLatin1Char('\r')) {
            line += QStringLiteral("\\r");
        } else if (c == QLatin1Char('\t')) {
            line += QStringLiteral("\\t");
        } else {
            line += QStringLiteral("\\x%1").arg(int(c.unicode()), c.unicode() > 0xff ? 4 : 2, 16,
                                                QLatin1Char('0'));
        }
    }
    line += QLatin1Char('\n');
    // One write per line, so lines from elsewhere never land inside it.
    const QByteArray bytes = line.toUtf8();
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n =
            ::write(STDERR_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // nowhere to log to
        done += n;
    }
}

QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\')) out += QLatin1Char('\\');
        out += c;
    }
    return out + QLatin1Char('"');
}

bool Throttle::allows(quint32 address, qint64 nowMs)
{
    constexpr qint64 Minute = 60000;
    auto it = m_last.find(address);
    if (it != m_last.end() && nowMs - *it < Minute) {
        ++m_leftOut;
        return false;
    }
    if (m_last.size() > 100000) m_last.clear(); // a crowd of addresses: start again
    m_last.insert(address, nowMs);
    return true;
}

int Throttle::takeLeftOut()
{
    return std::exchange(m_leftOut, 0);
}

} // namespace Log
