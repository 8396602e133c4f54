// The pal list (ovela.pal) and the refuse list (refuse.dat): fixed tables of 200 entries kept in
// small text files in the current folder.
#pragma once

#include "platform/textfile.h"

#include <QString>
#include <vector>

class UserMessages;

struct PalEntry {
    QString Name;
    QString EMail;
    QString Address;
    QString Location;
    qint16 Port = 0;
    qint16 Status = 1; // 1 offline or not yet checked, 2 online
};

struct PalList {
    static constexpr int Capacity = 200;
    std::vector<PalEntry> entries; // index 0 is pal 1
    int PalCheckPos = 0;

    int count() const { return int(entries.size()); }
    // Adds a pal named `name` with the address in lower case; false when the table is full.
    bool add(const QString &name, const QString &address);
    // Removes pal `index` (1-based); later pals move down.
    void remove(int index);
};

struct RefuseEntry {
    qint32 ID = 0;
    QString Name;
    QString EMail;
};

struct RefuseList {
    static constexpr int Capacity = 200;
    std::vector<RefuseEntry> entries;

    int count() const { return int(entries.size()); }
    // Appends a sender unless 200 are stored already.
    bool add(const RefuseEntry &entry);
    void remove(int index); // 1-based
    bool refuses(qint32 id) const;
};

inline const QString PalFileName = QStringLiteral("ovela.pal");
inline const QString RefuseFileName = QStringLiteral("refuse.dat");

// A missing file leaves the list as it is.
void loadPalFile(PalList &pals, const QString &path = PalFileName);
FileError writePalFile(const PalList &pals, const QString &path = PalFileName);
void loadRefuseList(RefuseList &list, const QString &path = RefuseFileName);
FileError writeRefuseList(const RefuseList &list, const QString &path = RefuseFileName);

// Saves a list; a failure is shown in a message box, and the old file stays as it was.
void savePals(const PalList &pals, UserMessages &messages, const QString &path = PalFileName);
void saveRefuseList(const RefuseList &list, UserMessages &messages,
                    const QString &path = RefuseFileName);

inline const QString PalSaveFailure = QStringLiteral("Could not save Pal File, ");
inline const QString RefuseSaveFailure = QStringLiteral("Could not save Refuse List data File, ");
