// What the program's fuzz targets share: reading an input as a few choices followed by bytes, the
// check that stops the run with a message when a property does not hold and the checks of what a
// reader hands on, feeding bytes in pieces of the input's choosing, the program a target keeps
// from one input to the next, and a file of given bytes in a scratch folder.
#pragma once

#include "protocol/anymessage.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace Fuzz
{

// A finding: a property the program relies on does not hold.
inline void require(bool holds, const char *what)
{
    if (holds) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// A text read from a peer or a server, as the program shows it: cut to `most` characters and
// without control characters.
inline void requireShown(const QString &text, qsizetype most = 256)
{
    require(text.size() <= most, "a text read is cut");
    for (QChar c : text)
        require(c.unicode() >= 0x20 && c.unicode() != 0x7f, "a text read has no control character");
}

// The line the program builds for a message it read, without the terminator every built line
// ends with, ready to be read again.
template <typename Variant> QByteArray rebuiltLine(const Variant &message, const QByteArray &end)
{
    QByteArray line = buildAny(message);
    require(line.isEmpty() || line.endsWith(end), "a built line ends with its terminator");
    line.chop(end.size());
    return line;
}

// The input as choices (one byte each, 0 once it is used up) and then the remaining bytes.
class Input
{
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    uint8_t choice()
    {
        if (m_at >= m_size) return 0;
        return m_data[m_at++];
    }
    QByteArray take(size_t n)
    {
        n = std::min(n, m_size - m_at);
        const QByteArray bytes(reinterpret_cast<const char *>(m_data + m_at), qsizetype(n));
        m_at += n;
        return bytes;
    }
    bool done() const { return m_at >= m_size; }
    QByteArray rest()
    {
        const QByteArray bytes(reinterpret_cast<const char *>(m_data + m_at),
                               qsizetype(m_size - m_at));
        m_at = m_size;
        return bytes;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

// Hands `bytes` to `feed` in pieces chosen by `seed`: between 1 and 2^(seed % 16) times `scale`
// bytes each, so that some inputs arrive byte by byte and others in one go.
template <typename Feed>
inline void feedInPieces(const QByteArray &bytes, uint8_t seed, qsizetype scale, Feed &&feed)
{
    const qsizetype most = (qsizetype(1) << (seed % 16)) * scale;
    uint32_t state = seed * 2654435761u + 1;
    for (qsizetype at = 0; at < bytes.size();) {
        state = state * 1103515245u + 12345u;
        const qsizetype n =
            std::min<qsizetype>(bytes.size() - at, 1 + qsizetype(state >> 16) % most);
        feed(bytes.mid(at, n));
        at += n;
    }
}

// A scratch folder of the run's own, in memory where the machine has a memory file system: files
// are saved the way the program saves them (written, flushed to disk, renamed), and the disk
// would make each input wait. QTemporaryDir adds the random part to the name.
inline QString scratchTemplate()
{
    return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/ovela-fuzz-")
                                                     : QDir::tempPath() + "/ovela-fuzz-";
}

// The corpus folders and files named on the command line, made absolute, for a target that
// changes its current folder before libFuzzer reads them.
inline void absoluteArguments(int *argc, char ***argv)
{
    static auto *args = new std::vector<char *>; // never freed, as above
    args->assign(*argv, *argv + *argc + 1);
    for (int i = 1; i < *argc; ++i) {
        if ((*args)[i][0] == '-') continue;
        const QString path = QDir().absoluteFilePath(QString::fromLocal8Bit((*args)[i]));
        (*args)[i] = strdup(path.toLocal8Bit().constData());
    }
    *argv = args->data();
}

// libFuzzer flags a target runs with unless its command line says otherwise (they go first, and a
// later flag wins). A target that keeps a program from one input to the next grows its heap with
// most inputs, and libFuzzer would scan the whole heap for leaks after each of them: with
// "-detect_leaks=0" the scan is left to the end of the run, where it still finds lost memory.
inline void defaultFlags(int *argc, char ***argv, std::initializer_list<const char *> flags)
{
    // Never freed: libFuzzer keeps using the arguments until the process ends.
    static auto *args = new std::vector<char *>;
    args->assign(*argv, *argv + *argc);
    args->insert(args->begin() + 1, flags.size(), nullptr);
    std::transform(flags.begin(), flags.end(), args->begin() + 1,
                   [](const char *f) { return strdup(f); });
    *argc = int(args->size());
    args->push_back(nullptr);
    *argv = args->data();
}

// Starts the application of a target that keeps a program from one input to the next, with the
// target's default flags, and makes that program (never freed: it lives until the process ends).
template <typename Program>
Program *startKept(int *argc, char ***argv, std::initializer_list<const char *> flags)
{
    defaultFlags(argc, argv, flags);
    static QCoreApplication app(*argc, *argv);
    return new Program;
}

// A file in a scratch folder of the run's own, holding the given bytes.
class ScratchFile
{
public:
    explicit ScratchFile(const QString &name)
        : m_dir(scratchTemplate()), m_path(m_dir.filePath(name))
    {
    }
    const QString &path() const { return m_path; }
    QString folder() const { return m_dir.path(); }
    void write(const QByteArray &bytes) const
    {
        QFile f(m_path);
        require(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "scratch file writable");
        f.write(bytes);
    }
    QByteArray read() const
    {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

} // namespace Fuzz
