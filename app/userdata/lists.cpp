// Loading and saving the pal and refuse lists.
#include "lists.h"

#include "platform/textfile.h"
#include "platform/usermessages.h"
#include "protocol/fields.h"

bool PalList::add(const QString &name, const QString &address)
{
    if (count() >= Capacity) return false;
    PalEntry entry;
    entry.Name = name;
    entry.EMail = address.toLower();
    entry.Status = 1;
    entries.push_back(entry);
    return true;
}

void PalList::remove(int index)
{
    if (index >= 1 && index <= count()) entries.erase(entries.begin() + (index - 1));
}

bool RefuseList::add(const RefuseEntry &entry)
{
    if (count() >= Capacity) return false;
    entries.push_back(entry);
    return true;
}

void RefuseList::remove(int index)
{
    if (index >= 1 && index <= count()) entries.erase(entries.begin() + (index - 1));
}

bool RefuseList::refuses(qint32 id) const
{
    for (const RefuseEntry &e : entries) {
        if (e.ID == id) return true;
    }
    return false;
}

void loadPalFile(PalList &pals, const QString &path)
{
    QStringList lines;
    if (!TextFile::readLines(path, &lines)) return;
    pals.entries.clear();
    // Pals beyond the table's 200 slots are ignored.
    for (qsizetype i = 0; i < lines.size() && pals.count() < PalList::Capacity; i += 2) {
        PalEntry entry;
        entry.Name = lines[i];
        entry.EMail = i + 1 < lines.size() ? lines[i + 1] : QString();
        entry.Status = 1;
        pals.entries.push_back(entry);
    }
    pals.PalCheckPos = pals.count();
}

FileError writePalFile(const PalList &pals, const QString &path)
{
    QStringList lines;
    for (const PalEntry &e : pals.entries)
        lines << e.Name << e.EMail;
    return TextFile::writeLines(path, lines);
}

void loadRefuseList(RefuseList &list, const QString &path)
{
    QStringList lines;
    if (!TextFile::readLines(path, &lines)) return;
    list.entries.clear();
    for (qsizetype i = 0; i < lines.size() && list.count() < RefuseList::Capacity; i += 3) {
        RefuseEntry entry;
        entry.ID = Fields::val32(lines[i]);
        entry.Name = i + 1 < lines.size() ? lines[i + 1] : QString();
        entry.EMail = i + 2 < lines.size() ? lines[i + 2] : QString();
        list.entries.push_back(entry);
    }
}

FileError writeRefuseList(const RefuseList &list, const QString &path)
{
    QStringList lines;
    for (const RefuseEntry &e : list.entries)
        lines << TextFile::numberLine(e.ID) << e.Name << e.EMail;
    return TextFile::writeLines(path, lines);
}

void savePals(const PalList &pals, UserMessages &messages, const QString &path)
{
    if (const FileError e = writePalFile(pals, path))
        messages.messageBox(e.message(PalSaveFailure));
}

void saveRefuseList(const RefuseList &list, UserMessages &messages, const QString &path)
{
    if (const FileError e = writeRefuseList(list, path))
        messages.messageBox(e.message(RefuseSaveFailure));
}
