// The activity log: time-stamped lines about start, shutdown and calls, shown in the log window
// and kept in ovela.log. Once the file is loaded, every entry is appended to it as it is added,
// so a program that is killed loses none; the whole file is replaced when the oldest lines move
// out, when the log is cleared and at shutdown. The lines that move out go to ovela.log.1, which
// keeps the newest MaxEntries of them.
#pragma once

#include "platform/textfile.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>

class ActivityLog : public QObject
{
    Q_OBJECT
public:
    // The oldest lines move to the older file once the log holds this many, so a flood of calls
    // cannot make it grow without end.
    static constexpr int MaxEntries = 10000;
    // Past the bound the oldest lines move in a block, so the log window is rebuilt once per
    // thousand new lines rather than on every line.
    static constexpr int TrimmedEntries = MaxEntries - 1000;

    explicit ActivityLog(QObject *parent = nullptr) : QObject(parent) {}

    const QStringList &entries() const { return m_entries; }
    // Adds "date time: text" with the current date and time.
    void addLogEntry(const QString &text);
    void addAt(const QDateTime &when, const QString &text);
    void clear();

    // Appends every line of the file; false when there is none. From then on entries go to that
    // file as they are added.
    bool loadActivityLog(const QString &path = FileName);
    FileError saveActivityLog(const QString &path = FileName) const;

    // The general date format: short date, a blank, long time (without a time zone).
    static QString stamp(const QDateTime &when);

    inline static const QString FileName = QStringLiteral("ovela.log");
    inline static const QString OlderSuffix = QStringLiteral(".1");
    inline static const QString SaveFailure = QStringLiteral("Could not save Log File, ");

signals:
    void entryAdded(const QString &line);
    void reset(); // cleared, trimmed or loaded: show entries() again

private:
    bool trim();
    void keepOlder(const QStringList &lines) const;
    void appendToFile(const QString &line);
    void rewriteFile();

    QStringList m_entries;
    QString m_path; // where entries go as they are added; empty until the file is loaded
};
