// Line files with atomic replacement.
#include "textfile.h"

#include <QFile>
#include <QSaveFile>

QString FileError::message(const QString &prefix) const
{
    return prefix + QString::number(number) + QStringLiteral(" : ") + description;
}

namespace
{

FileError fileError(const QFileDevice &file)
{
    // Numbers as the program has always reported file failures.
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        return {70, QStringLiteral("Permission denied")};
    case QFileDevice::OpenError:
        return {75, QStringLiteral("Path/File access error")};
    case QFileDevice::ResourceError:
        return {61, QStringLiteral("Disk full")};
    default:
        return {57, QStringLiteral("Device I/O error: ") + file.errorString()};
    }
}

} // namespace

namespace TextFile
{

bool readLines(const QString &path, QStringList *lines)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray all = file.readAll();
    lines->clear();
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype end = all.indexOf('\n', start);
        const qsizetype next = end < 0 ? all.size() : end + 1;
        if (end < 0) end = all.size();
        qsizetype stop = end;
        if (stop > start && all.at(stop - 1) == '\r') --stop;
        lines->append(QString::fromUtf8(all.constData() + start, stop - start));
        start = next;
    }
    return true;
}

FileError writeLines(const QString &path, const QStringList &lines)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return fileError(file);
    QByteArray out;
    for (const QString &line : lines) {
        out += line.toUtf8();
        out += "\r\n";
    }
    if (file.write(out) != out.size()) {
        const FileError e = fileError(file);
        file.cancelWriting();
        return e;
    }
    if (!file.commit()) return fileError(file);
    return {};
}

QString numberText(qint64 value)
{
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

QString numberLine(qint64 value)
{
    return numberText(value) + QLatin1Char(' ');
}
} // namespace TextFile
