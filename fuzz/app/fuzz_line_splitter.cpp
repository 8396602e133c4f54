// Fuzzes the line splitter every connection reads through, with each terminator the program uses
// ("\r\n", "<ET>", "<E>", and none) and limits from a few bytes to the default (the small ones
// take the same path as the default past its end), the input arriving in pieces of the input's
// choosing. What a connection relies on: every line is exactly the bytes up to the next
// terminator, a line too long to hold arrives as chunks that join into it, nothing is lost or
// added, and the splitter never holds more than its limit.
#include "fuzzsupport.h"
#include "protocol/linesplitter.h"

#include <QList>

using Fuzz::require;

namespace
{

// The lines of `all` split at every terminator from the left, and what follows the last one.
QList<QByteArray> referenceLines(const QByteArray &all, const QByteArray &eol, QByteArray *rest)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype at; (at = all.indexOf(eol, start)) >= 0; start = at + eol.size())
        lines.append(all.mid(start, at - start));
    *rest = all.mid(start);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The limits that matter are small ones: a longer input only takes longer.
    Fuzz::defaultFlags(argc, argv, {"-max_len=4096"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input in(data, size);
    const uint8_t mode = in.choice();
    const uint8_t cuts = in.choice();
    static const QByteArray terminators[] = {"\r\n", "<ET>", "<E>", ""};
    static const qsizetype limits[] = {LineSplitter::DefaultLimit, 4096, 64, 4};
    const QByteArray eol = terminators[mode & 3];
    const qsizetype limit = limits[(mode >> 2) & 3];
    const QByteArray all = in.rest();

    LineSplitter splitter(limit);
    splitter.setTerminator(eol);
    std::vector<LinePiece> out;
    Fuzz::feedInPieces(all, cuts, 1, [&](const QByteArray &bytes) {
        for (LinePiece &piece : splitter.feed(bytes)) {
            require(piece.endOfLine || piece.text.size() <= limit, "a chunk within the limit");
            require(!piece.text.isEmpty() || piece.endOfLine, "no empty chunk");
            out.push_back(std::move(piece));
        }
        require(splitter.buffered() <= limit, "the splitter holds at most its limit");
    });

    if (eol.isEmpty()) {
        QByteArray joined;
        for (const LinePiece &p : out) {
            require(!p.endOfLine, "without a terminator nothing is a line");
            joined += p.text;
        }
        require(joined == all && splitter.buffered() == 0, "without a terminator all is handed on");
        return 0;
    }
    // Chunks joined with the line they belong to give the lines of the reference split.
    QByteArray rest;
    const QList<QByteArray> lines = referenceLines(all, eol, &rest);
    qsizetype line = 0;
    QByteArray pending;
    for (const LinePiece &p : out) {
        pending += p.text;
        if (!p.endOfLine) continue;
        require(line < lines.size(), "no more lines than terminators");
        require(pending == lines[line], "a line is the bytes up to its terminator");
        pending.clear();
        ++line;
    }
    require(line == lines.size(), "every terminated line is handed on");
    require(rest.startsWith(pending) && pending.size() + splitter.buffered() == rest.size(),
            "what follows the last terminator is handed on in order or still held");
    return 0;
}
