// The small text files of the program: read line by line (CR LF or LF), written with CR LF,
// replaced atomically so a crash or a full disk never leaves half a file behind.
#pragma once

#include <QString>
#include <QStringList>

struct FileError {
    int number = 0;
    QString description;
    explicit operator bool() const { return number != 0; }
    // "prefix" + number + " : " + description, as the save failures are reported.
    QString message(const QString &prefix) const;
};

namespace TextFile
{
// The lines of a file; false when it cannot be opened (a missing file).
bool readLines(const QString &path, QStringList *lines);
// Replaces the file with these lines, each ending in CR LF.
FileError writeLines(const QString &path, const QStringList &lines);

// A number as the files hold it: one leading blank unless negative (" 20").
QString numberText(qint64 value);
// A number on a line of its own: numberText plus one trailing blank (" 4711 ").
QString numberLine(qint64 value);
} // namespace TextFile
