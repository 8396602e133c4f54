// The options dialog's model.
#include "optionsmodel.h"

#include "directory/directoryclient.h"
#include "directory/lists.h"
#include "messaging/chatlink.h"
#include "platform/usermessages.h"
#include "protocol/directory.h"
#include "shell/settings.h"

OptionsModel::OptionsModel(const Parts &parts, QObject *parent) : QObject(parent), m_(parts) {}

OptionValues OptionsModel::load() const
{
    const Settings &s = m_.settings;
    OptionValues v;
    v.name = s.Name;
    v.email = s.EMail;
    v.location = s.Location;
    v.comment = s.Comment;
    v.directory = s.DirAddress + QLatin1Char(':') + QString::number(s.DirPort);
    v.showOnList = s.ShowOnList;
    v.autoAccept = s.AutoAccept;
    v.sendWelcome = s.SendWelcome;
    v.realTimeChat = s.EnableRTC;
    v.welcome = s.WelcomeMsg;
    v.saveWindowPosition = s.SaveWinPos;
    v.moveAllWindows = s.MoveAllWin;
    v.rememberWindows = s.RememberWin;
    v.messagesDisabled = s.MessagingDisable;
    return v;
}

QStringList OptionsModel::directoryChoices() const
{
    return {defaultDirectoryHost() + QStringLiteral(":2010"),
            defaultDirectoryHost() + QStringLiteral(":2020")};
}

QString OptionsModel::check(const OptionValues &v)
{
    if (v.name.trimmed().size() < MinimumName)
        return QStringLiteral("You must enter a name of at least 3 Characters in length.");
    if (v.email.trimmed().size() < MinimumEmail)
        return QStringLiteral("You must enter an Email Address of at least 8 Characters in "
                              "length.");
    return {};
}

OptionsModel::Effects OptionsModel::apply(const OptionValues &v)
{
    Effects effects;
    if (const QString problem = check(v); !problem.isEmpty()) {
        m_.messages.showInfoMessage(problem);
        return effects;
    }
    Settings &s = m_.settings;
    s.Name = v.name;
    s.EMail = v.email;
    s.Location = v.location;
    s.Comment = v.comment;
    s.AutoAccept = v.autoAccept;
    s.ShowOnList = v.showOnList;
    s.EnableRTC = v.realTimeChat;
    QString host;
    qint16 port = 0;
    Directory::splitServerAddress(v.directory, &host, &port);
    if (host != s.DirAddress || port != s.DirPort) {
        m_.directory.disconnect();
        s.DirAddress = host;
        s.DirPort = port;
        effects.directoryChanged = true;
    }
    s.SendWelcome = v.sendWelcome;
    s.WelcomeMsg = v.welcome.left(WelcomeLength);
    s.SaveWinPos = v.saveWindowPosition;
    s.MoveAllWin = v.moveAllWindows;
    s.RememberWin = v.rememberWindows;
    s.MessagingDisable = v.messagesDisabled;
    effects.stored = true;
    effects.indicatorsChanged = true;
    emit applied(effects);
    return effects;
}

bool OptionsModel::realTimeChatChangeAllowed(bool on)
{
    if (!m_.chat.connected() || on == m_.settings.EnableRTC) return true;
    m_.messages.messageBox(QStringLiteral("This option cannot be changed while you are in a "
                                          "connection. Please disconnect to set this option."));
    return false;
}

QList<QStringList> OptionsModel::refused() const
{
    QList<QStringList> rows;
    for (const RefuseEntry &e : m_.refuseList.entries)
        rows.append({e.Name, e.EMail});
    return rows;
}

void OptionsModel::removeRefused(int index)
{
    if (index < 1 || index > m_.refuseList.count()) return;
    m_.refuseList.remove(index);
    saveRefuseList(m_.refuseList, m_.messages);
    emit refusedChanged();
}
