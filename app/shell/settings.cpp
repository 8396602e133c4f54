// Reading and writing ovela.ini.
#include "settings.h"

#include "platform/privateprofile.h"
#include "qvidutil.h"

#include <QDir>
#include <QFileInfo>

#ifndef OVELA_DIRECTORY_HOST
#define OVELA_DIRECTORY_HOST "localhost"
#endif

namespace
{

constexpr int ValueBuffer = 50;
constexpr int WelcomeBuffer = 100;

const QString Personal = QStringLiteral("Personal");
const QString Messaging = QStringLiteral("Messaging");
const QString VideoCapture = QStringLiteral("VideoCapture");
const QString Calling = QStringLiteral("Calling");
const QString Windows = QStringLiteral("Windows");

QString flagText(bool on)
{
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

// Reads one key of the file as the program always has: into a buffer of fixed size.
struct Reader {
    const PrivateProfile &ini;
    QString section;

    QString text(const QString &key, const QString &def, int buffer = ValueBuffer) const
    {
        return ini.get(section, key, def, buffer);
    }
    // A flag is on exactly when its value contains "True", in that case.
    bool flag(const QString &key, bool def) const
    {
        return text(key, flagText(def)).contains(QLatin1String("True"));
    }
    qint16 int16(const QString &key, qint16 def) const
    {
        return QVIDUTIL::val16(text(key, QString::number(def)).trimmed());
    }
    qint32 number(const QString &key, qint32 def) const
    {
        return QVIDUTIL::val32(text(key, QString::number(def)).trimmed());
    }
};

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

void LoadSettings(const QString &file, Settings &s)
{
    const PrivateProfile ini(file);
    const Settings d;

    Reader r{ini, Personal};
    s.Name = r.text(QStringLiteral("Name"), d.Name);
    s.EMail = r.text(QStringLiteral("EMail"), d.EMail);
    s.Location = r.text(QStringLiteral("Location"), d.Location);
    s.Comment = r.text(QStringLiteral("Comment"), d.Comment);
    s.ShowOnList = r.flag(QStringLiteral("ShowOnList"), d.ShowOnList);
    s.DirAddress = r.text(QStringLiteral("DirAddress"), d.DirAddress);
    s.DirPort = r.int16(QStringLiteral("DirPort"), d.DirPort);

    r.section = Messaging;
    s.MessagingDisable = r.flag(QStringLiteral("Disable"), d.MessagingDisable);

    r.section = VideoCapture;
    s.DriverNum = r.int16(QStringLiteral("DriverNum"), d.DriverNum);
    s.SendImageMsg = r.flag(QStringLiteral("SendImageMsg"), d.SendImageMsg);
    s.ImageMsg = r.text(QStringLiteral("ImageMsg"), d.ImageMsg);

    r.section = Calling;
    s.AutoAccept = r.flag(QStringLiteral("AutoAccept"), d.AutoAccept);
    s.EnableRTC = r.flag(QStringLiteral("EnableRTC"), d.EnableRTC);
    s.SendWelcome = r.flag(QStringLiteral("SendWelcome"), d.SendWelcome);
    s.WelcomeMsg = r.text(QStringLiteral("WelcomeMsg"), d.WelcomeMsg, WelcomeBuffer);
    s.AutoDecTime = r.int16(QStringLiteral("AutoDecTime"), d.AutoDecTime);

    r.section = Windows;
    s.SaveWinPos = r.flag(QStringLiteral("SaveWinPos"), d.SaveWinPos);
    s.DirWidth = r.number(QStringLiteral("DirWidth"), d.DirWidth);
    s.DirHeight = r.number(QStringLiteral("DirHeight"), d.DirHeight);
    s.WinPosLeft = r.int16(QStringLiteral("WinPosLeft"), d.WinPosLeft);
    s.WinPosTop = r.int16(QStringLiteral("WinPosTop"), d.WinPosTop);
    s.MoveAllWin = r.flag(QStringLiteral("MoveAllWin"), d.MoveAllWin);
    s.RememberWin = r.flag(QStringLiteral("RememberWin"), d.RememberWin);
    s.SelfViewOn = r.flag(QStringLiteral("SelfViewOn"), d.SelfViewOn);
    s.ChatToolOn = r.flag(QStringLiteral("ChatToolOn"), d.ChatToolOn);
    s.DataRatesOn = r.flag(QStringLiteral("DataRatesOn"), d.DataRatesOn);
    s.VQualityLow = r.flag(QStringLiteral("VQualityLow"), d.VQualityLow);
    s.VSpeedLow = true;
    s.ChatFontSize = r.int16(QStringLiteral("ChatFontSize"), d.ChatFontSize);
}

bool SaveSettings(const QString &file, const Settings &s, QString *error)
{
    using QVIDUTIL::numberText;
    PrivateProfile ini(file);
    auto put = [&ini](const QString &section, const char *key, const QString &value) {
        ini.set(section, QLatin1String(key), value);
    };
    put(Personal, "Name", s.Name);
    put(Personal, "EMail", s.EMail);
    put(Personal, "Location", s.Location);
    put(Personal, "Comment", s.Comment);
    put(Personal, "ShowOnList", flagText(s.ShowOnList));
    put(Personal, "DirAddress", s.DirAddress);
    put(Personal, "DirPort", QString::number(s.DirPort));
    put(Messaging, "Disable", flagText(s.MessagingDisable));
    put(VideoCapture, "DriverNum", QString::number(s.DriverNum));
    put(VideoCapture, "SendImageMsg", flagText(s.SendImageMsg));
    put(VideoCapture, "ImageMsg", s.ImageMsg);
    put(Calling, "AutoAccept", flagText(s.AutoAccept));
    put(Calling, "EnableRTC", flagText(s.EnableRTC));
    put(Calling, "SendWelcome", flagText(s.SendWelcome));
    put(Calling, "WelcomeMsg", s.WelcomeMsg);
    put(Calling, "AutoDecTime", numberText(s.AutoDecTime));
    put(Windows, "SaveWinPos", flagText(s.SaveWinPos));
    put(Windows, "DirWidth", numberText(s.DirWidth));
    put(Windows, "DirHeight", numberText(s.DirHeight));
    put(Windows, "WinPosLeft", numberText(s.WinPosLeft));
    put(Windows, "WinPosTop", numberText(s.WinPosTop));
    put(Windows, "MoveAllWin", flagText(s.MoveAllWin));
    put(Windows, "RememberWin", flagText(s.RememberWin));
    put(Windows, "SelfViewOn", flagText(s.SelfViewOn));
    put(Windows, "ChatToolOn", flagText(s.ChatToolOn));
    put(Windows, "DataRatesOn", flagText(s.DataRatesOn));
    put(Windows, "VQualityLow", flagText(s.VQualityLow));
    put(Windows, "VSpeedLow", flagText(true));
    put(Windows, "ChatFontSize", numberText(s.ChatFontSize));

    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) {
        if (error) *error = QStringLiteral("Cannot create ") + info.absolutePath();
        return false;
    }
    return ini.save(file, error);
}

void splitServerAddress(const QString &text, QString *host, qint16 *port)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        *host = text;
        *port = 2010;
        return;
    }
    *host = text.left(colon);
    *port = QVIDUTIL::val16(text.mid(colon + 1, 4));
}
