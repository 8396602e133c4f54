// The activity log.
#include "activitylog.h"

#include <QLocale>
#include <QRegularExpression>

QString ActivityLog::stamp(const QDateTime &when)
{
    const QLocale locale = QLocale::system();
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    // Long time formats may carry a time zone ("t"); the log line never did.
    timeFormat.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*$")));
    timeFormat.remove(QRegularExpression(QStringLiteral("^\\s*t+\\s*")));
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), timeFormat);
}

void ActivityLog::AddLogEntry(const QString &text)
{
    addAt(QDateTime::currentDateTime(), text);
}

void ActivityLog::addAt(const QDateTime &when, const QString &text)
{
    const QString line = stamp(when) + QStringLiteral(": ") + text;
    m_entries.append(line);
    if (trim())
        emit reset();
    else
        emit entryAdded(line);
}

void ActivityLog::clear()
{
    m_entries.clear();
    emit reset();
}

bool ActivityLog::trim()
{
    if (m_entries.size() <= MaxEntries) return false;
    m_entries.remove(0, m_entries.size() - TrimmedEntries);
    return true;
}

bool ActivityLog::LoadActivityLog(const QString &path)
{
    QStringList lines;
    if (!TextFile::readLines(path, &lines)) return false;
    m_entries.append(lines);
    trim();
    emit reset();
    return true;
}

FileError ActivityLog::SaveActivityLog(const QString &path) const
{
    return TextFile::writeLines(path, m_entries);
}
