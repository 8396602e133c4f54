// Who a machine that answers by itself lets in: everyone, the pals the pal server reports online
// at the very address the call comes from, or the callers of a list file. The name in a call
// request is whatever the caller typed, so it is never enough alone: an address decides, and
// for pals the name must match the one the pal server holds for that address as well, since
// several people may share one address behind a router.
#pragma once

#include <QList>
#include <QString>

#include <optional>

struct PalList;

class AnsweringPolicy
{
public:
    enum class Mode { Pals, Everyone, List };

    // "pals", "everyone" or "list"; nothing for any other word.
    static std::optional<Mode> modeNamed(const QString &word);
    static QString nameOf(Mode mode);

    // The list file, in the data folder. One caller a line: an address (IPv4 or IPv6, or a
    // network as ADDRESS/BITS), optionally followed by a blank and the caller's name, which must
    // then match too (case does not matter). Blank lines and lines from '#' are ignored.
    inline static const QString ListFileName = QStringLiteral("unattended.txt");

    struct Verdict {
        bool answer = false;
        QString reason; // for the log: why the call was answered or declined
    };

    AnsweringPolicy(Mode mode, const PalList &pals);
    Mode mode() const { return m_mode; }

    // Reads the list file; false (and no callers) when it cannot be read. Lines that are no
    // address are counted in *skipped.
    bool loadList(const QString &path = ListFileName, int *skipped = nullptr);
    int listSize() const { return int(m_list.size()); }

    // Whether a call from `name` on a connection from `host` is answered.
    Verdict check(const QString &name, const QString &host) const;

private:
    struct Allowed {
        QString network; // address or ADDRESS/BITS
        QString name;    // empty: any name
    };
    Verdict checkPals(const QString &name, const QString &host) const;
    Verdict checkList(const QString &name, const QString &host) const;

    Mode m_mode;
    const PalList &m_pals;
    QList<Allowed> m_list;
};
