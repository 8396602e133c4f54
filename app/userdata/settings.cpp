// Reading and writing ovela.ini.
#include "settings.h"

#include "platform/inifile.h"
#include "platform/textfile.h"
#include "protocol/fields.h"

#include <QDir>
#include <QFileInfo>

#include <type_traits>
#include <variant>

#ifndef OVELA_DIRECTORY_HOST
#define OVELA_DIRECTORY_HOST "localhost"
#endif

namespace
{

constexpr int ValueBuffer = 50;
constexpr int WelcomeBuffer = 100;

using Member =
    std::variant<QString Settings::*, bool Settings::*, qint16 Settings::*, qint32 Settings::*>;

// One key of the file, in the order the file holds them.
struct Key {
    const char *section;
    const char *name;
    Member member;
    bool leadingBlank = false; // numbers written as numeric text conversion writes them
    int buffer = ValueBuffer;
    bool read = true;
};

const Key Keys[] = {
    {"Personal", "Name", &Settings::Name},
    {"Personal", "EMail", &Settings::EMail},
    {"Personal", "Location", &Settings::Location},
    {"Personal", "Comment", &Settings::Comment},
    {"Personal", "ShowOnList", &Settings::ShowOnList},
    {"Personal", "DirAddress", &Settings::DirAddress},
    {"Personal", "DirPort", &Settings::DirPort},
    {"Messaging", "Disable", &Settings::MessagingDisable},
    {"VideoCapture", "DriverNum", &Settings::DriverNum},
    {"VideoCapture", "SendImageMsg", &Settings::SendImageMsg},
    {"VideoCapture", "ImageMsg", &Settings::ImageMsg},
    {"Calling", "AutoAccept", &Settings::AutoAccept},
    {"Calling", "EnableRTC", &Settings::EnableRTC},
    {"Calling", "SendWelcome", &Settings::SendWelcome},
    {"Calling", "WelcomeMsg", &Settings::WelcomeMsg, false, WelcomeBuffer},
    {"Calling", "AutoDecTime", &Settings::AutoDecTime, true},
    {"Windows", "SaveWinPos", &Settings::SaveWinPos},
    {"Windows", "DirWidth", &Settings::DirWidth, true},
    {"Windows", "DirHeight", &Settings::DirHeight, true},
    {"Windows", "WinPosLeft", &Settings::WinPosLeft, true},
    {"Windows", "WinPosTop", &Settings::WinPosTop, true},
    {"Windows", "MoveAllWin", &Settings::MoveAllWin},
    {"Windows", "RememberWin", &Settings::RememberWin},
    {"Windows", "SelfViewOn", &Settings::SelfViewOn},
    {"Windows", "ChatToolOn", &Settings::ChatToolOn},
    {"Windows", "DataRatesOn", &Settings::DataRatesOn},
    {"Windows", "VQualityLow", &Settings::VQualityLow},
    {"Windows", "VSpeedLow", &Settings::VSpeedLow, false, ValueBuffer, false},
    {"Windows", "ChatFontSize", &Settings::ChatFontSize, true},
};

QString flagText(bool on)
{
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

QString valueText(const Key &key, const Settings &s)
{
    return std::visit(
        [&](auto member) -> QString {
            const auto &value = s.*member;
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, QString>)
                return value;
            else if constexpr (std::is_same_v<T, bool>)
                return flagText(value);
            else
                return key.leadingBlank ? TextFile::numberText(value) : QString::number(value);
        },
        key.member);
}

// Reads one key as the program always has: into a buffer of fixed size, then by its type.
void readKey(const IniFile &ini, const Key &key, const Settings &defaults, Settings &s)
{
    const QString text = ini.get(QLatin1String(key.section), QLatin1String(key.name),
                                 valueText(key, defaults), key.buffer);
    std::visit(
        [&](auto member) {
            auto &value = s.*member;
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, QString>)
                value = text;
            else if constexpr (std::is_same_v<T, bool>)
                value = text.contains(QLatin1String("True")); // in exactly this case
            else if constexpr (std::is_same_v<T, qint16>)
                value = Fields::val16(text.trimmed());
            else
                value = Fields::val32(text.trimmed());
        },
        key.member);
}

} // namespace

Settings::Settings() : DirAddress(defaultDirectoryHost()) {}

QString defaultDirectoryHost()
{
    return QStringLiteral(OVELA_DIRECTORY_HOST);
}

QString settingsFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/ovela/ovela.ini");
}

void loadSettings(const QString &file, Settings &s)
{
    const IniFile ini(file);
    const Settings defaults;
    for (const Key &key : Keys) {
        if (key.read) readKey(ini, key, defaults, s);
    }
    s.VSpeedLow = true;
}

bool saveSettings(const QString &file, const Settings &s, QString *error)
{
    IniFile ini(file);
    for (const Key &key : Keys)
        ini.set(QLatin1String(key.section), QLatin1String(key.name), valueText(key, s));
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) {
        if (error) *error = QStringLiteral("Cannot create ") + info.absolutePath();
        return false;
    }
    return ini.save(file, error);
}
