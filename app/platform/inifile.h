// An INI file read and written the way the program's settings were always kept: sections in
// brackets, "key=value" lines, names matched without regard to case, values read into a buffer
// of a given size (so at most size - 1 characters come back), and unknown lines kept as they are.
// Saving replaces the file only once the new one is completely written.
#pragma once

#include <QString>
#include <QStringList>

class IniFile
{
public:
    IniFile() = default;
    explicit IniFile(const QString &path) { load(path); }

    // Reads the file; a missing or unreadable file gives an empty profile. Returns whether it
    // was read.
    bool load(const QString &path);
    // Writes the file atomically (a temporary file renamed over the old one).
    bool save(const QString &path, QString *error = nullptr) const;

    // The value of section/key, or defaultValue when either is missing; cut to bufferSize - 1
    // characters. A key present with an empty value gives an empty text.
    QString get(const QString &section, const QString &key, const QString &defaultValue,
                int bufferSize) const;
    bool contains(const QString &section, const QString &key) const;
    // Sets section/key, adding the section at the end and the key at the end of its section when
    // they are missing.
    void set(const QString &section, const QString &key, const QString &value);

    QString text() const;

private:
    struct Place {
        int sectionLine = -1; // line of "[section]", -1 when missing
        int keyLine = -1;     // line of "key=", -1 when missing
        int insertAt = -1;    // where a new key of this section goes
    };
    Place locate(const QString &section, const QString &key) const;

    QStringList m_lines;
};
