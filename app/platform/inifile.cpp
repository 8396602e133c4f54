// INI file access with the semantics the settings rely on.
#include "inifile.h"

#include "textfile.h"

#include <QSaveFile>

namespace
{

// Lines are looked at through views: finding a key reads every line of its section, and settings
// are read key by key.
bool isSectionLine(QStringView line, QStringView *name)
{
    const QStringView t = line.trimmed();
    if (!t.startsWith(QLatin1Char('['))) return false;
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0) return false;
    *name = t.mid(1, close - 1).trimmed();
    return true;
}

bool keyOf(QStringView line, QStringView *key, QStringView *value)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) return false;
    *key = line.left(eq).trimmed();
    if (value) *value = line.mid(eq + 1).trimmed();
    return !key->isEmpty();
}

QString cut(const QString &text, int bufferSize)
{
    const int room = std::max(0, bufferSize - 1);
    if (text.size() <= room) return text;
    int n = room;
    if (n > 0 && text.at(n - 1).isHighSurrogate()) --n; // never leave half a character
    return text.left(n);
}

} // namespace

bool IniFile::load(const QString &path)
{
    m_lines.clear();
    if (!TextFile::readLines(path, &m_lines)) return false;
    // The line reader takes one carriage return off a line; the others go too: a file whose
    // line ends were converted twice has "\r\r\n", and a line keeping one would lose it at the
    // next reading of the file we write, so that saving twice would not give the same file.
    for (QString &line : m_lines) {
        while (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    while (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
    return true;
}

QString IniFile::text() const
{
    QString out;
    for (const QString &line : m_lines)
        out += line + QLatin1Char('\n');
    return out;
}

bool IniFile::save(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    file.write(text().toUtf8());
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

IniFile::Place IniFile::locate(const QString &section, const QString &key) const
{
    Place place;
    bool inSection = false;
    for (int i = 0; i < m_lines.size(); ++i) {
        QStringView name;
        if (isSectionLine(m_lines[i], &name)) {
            if (inSection) break; // the next section begins
            if (place.sectionLine < 0 && name.compare(section, Qt::CaseInsensitive) == 0) {
                inSection = true;
                place.sectionLine = i;
                place.insertAt = i + 1;
            }
            continue;
        }
        if (!inSection) continue;
        QStringView k;
        if (keyOf(m_lines[i], &k, nullptr)) {
            if (place.keyLine < 0 && k.compare(key, Qt::CaseInsensitive) == 0) place.keyLine = i;
        }
        if (!QStringView(m_lines[i]).trimmed().isEmpty()) place.insertAt = i + 1;
    }
    return place;
}

QString IniFile::get(const QString &section, const QString &key, const QString &defaultValue,
                     int bufferSize) const
{
    const Place place = locate(section, key);
    if (place.keyLine < 0) return cut(defaultValue, bufferSize);
    QStringView k, value;
    keyOf(m_lines[place.keyLine], &k, &value);
    return cut(value.toString(), bufferSize);
}

bool IniFile::contains(const QString &section, const QString &key) const
{
    return locate(section, key).keyLine >= 0;
}

void IniFile::set(const QString &section, const QString &key, const QString &value)
{
    const Place place = locate(section, key);
    const QString line = key + QLatin1Char('=') + value;
    if (place.keyLine >= 0) {
        m_lines[place.keyLine] = line;
    } else if (place.sectionLine >= 0) {
        m_lines.insert(place.insertAt, line);
    } else {
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty()) m_lines.append(QString());
        m_lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        m_lines.append(line);
    }
}
