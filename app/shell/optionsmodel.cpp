// The options dialog's model.
#include "optionsmodel.h"

#include "calls/callsecurity.h"
#include "calls/chatlink.h"
#include "directory/directoryclient.h"
#include "platform/usermessages.h"
#include "protocol/directory.h"
#include "router/portmapping.h"
#include "shell/talkkey.h"
#include "userdata/desktopoptions.h"
#include "userdata/lists.h"
#include "userdata/settings.h"

OptionsModel::OptionsModel(const Deps &deps, QObject *parent)
    : QObject(parent), m_deps(deps), m_media({deps.settings, deps.media, deps.sound, deps.messages})
{
    connect(&deps.router, &PortMapping::changed, this, &OptionsModel::routerStatusChanged);
}

QString OptionsModel::routerStatus() const
{
    return m_deps.router.summary();
}

OptionValues OptionsModel::load() const
{
    const Settings &s = m_deps.settings;
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
    v.keepRunningInTray = m_deps.desktop.keepRunningInTray;
    v.palOnlineNotices = m_deps.desktop.palOnlineNotices;
    v.talkKey = m_deps.talkKey.key();
    v.encryptCalls = m_deps.security.options().encryptCalls;
    v.refusePlainCalls = m_deps.security.options().refusePlainCalls;
    v.sendImageMessage = s.SendImageMsg;
    v.imageMessage = s.ImageMsg;
    v.messagesDisabled = s.MessagingDisable;
    v.mapPorts = m_deps.router.enabled();
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
        m_deps.messages.showInfoMessage(problem);
        return effects;
    }
    Settings &s = m_deps.settings;
    // Surrounding blanks are nobody's name; the directory shows what is stored.
    const QString name = v.name.trimmed(), email = v.email.trimmed(),
                  location = v.location.trimmed(), comment = v.comment.trimmed();
    bool changed = name != s.Name || email != s.EMail || location != s.Location ||
                   comment != s.Comment || v.showOnList != s.ShowOnList;
    s.Name = name;
    s.EMail = email;
    s.Location = location;
    s.Comment = comment;
    s.AutoAccept = v.autoAccept;
    s.ShowOnList = v.showOnList;
    s.EnableRTC = v.realTimeChat;
    s.SendImageMsg = v.sendImageMessage;
    s.ImageMsg = v.imageMessage;
    QString host;
    qint16 port = 0;
    Directory::splitServerAddress(v.directory.trimmed(), &host, &port);
    if (host != s.DirAddress || port != s.DirPort) {
        changed = true;
        m_deps.directory.disconnect();
        s.DirAddress = host;
        s.DirPort = port;
        effects.directoryChanged = true;
    }
    s.SendWelcome = v.sendWelcome;
    s.WelcomeMsg = v.welcome.left(WelcomeLength);
    s.SaveWinPos = v.saveWindowPosition;
    s.MoveAllWin = v.moveAllWindows;
    s.RememberWin = v.rememberWindows;
    m_deps.router.setEnabled(v.mapPorts);
    // The directory learns the new details: at once when connected, else by connecting, whose
    // login carries them.
    if (changed) {
        if (m_deps.directory.connected())
            m_deps.directory.sendDirectoryLogin();
        else
            m_deps.directory.connectDirectory(s.DirAddress, s.DirPort);
        effects.detailsChanged = true;
    }
    m_media.endTest();
    s.MessagingDisable = v.messagesDisabled;
    DesktopOptions &desktop = m_deps.desktop;
    if (desktop.keepRunningInTray != v.keepRunningInTray ||
        desktop.palOnlineNotices != v.palOnlineNotices) {
        desktop.keepRunningInTray = v.keepRunningInTray;
        desktop.palOnlineNotices = v.palOnlineNotices;
        if (const QString error = desktop.save(); !error.isEmpty())
            m_deps.messages.showErrorMessage(error);
    }
    if (const QString error = m_deps.talkKey.choose(v.talkKey); !error.isEmpty())
        m_deps.messages.showErrorMessage(error);
    const CallSecurity::Options privacy{v.encryptCalls, v.encryptCalls && v.refusePlainCalls};
    const CallSecurity::Options &was = m_deps.security.options();
    if (privacy.encryptCalls != was.encryptCalls ||
        privacy.refusePlainCalls != was.refusePlainCalls) {
        if (const QString error = m_deps.security.setOptions(privacy); !error.isEmpty())
            m_deps.messages.showErrorMessage(error);
    }
    effects.stored = true;
    effects.indicatorsChanged = true;
    emit applied(effects);
    return effects;
}

QString OptionsModel::talkKeyNote() const
{
    return m_deps.talkKey.reachNote();
}

void OptionsModel::unloaded()
{
    m_media.endTest();
}

bool OptionsModel::realTimeChatChangeAllowed(bool on)
{
    if (!m_deps.chatLink.connected() || on == m_deps.settings.EnableRTC) return true;
    m_deps.messages.messageBox(QStringLiteral("This option cannot be changed while you are in a "
                                              "connection. Please disconnect to set this option."));
    return false;
}

QList<QStringList> OptionsModel::refused() const
{
    QList<QStringList> rows;
    for (const RefuseEntry &e : m_deps.refuseList.entries)
        rows.append({e.Name, e.EMail});
    return rows;
}

void OptionsModel::removeRefused(int index)
{
    if (index < 1 || index > m_deps.refuseList.count()) return;
    m_deps.refuseList.remove(index);
    saveRefuseList(m_deps.refuseList, m_deps.messages);
    emit refusedChanged();
}
