// How OVELA behaves on the desktop around it: whether a pal coming online is announced by a
// notification, whether closing the main window leaves the program running in the tray, whether
// the user has been told so once, and the push-to-talk key that works from any window. Kept in a
// small file of its own beside the settings
// ("desktop", lines such as "KeepRunningInTray=1") rather than in ovela.ini, written at once
// (atomically) on every change. A damaged line gives its default.
#pragma once

#include <QString>

class DesktopOptions
{
public:
    inline static const QString FileName = QStringLiteral("desktop");

    explicit DesktopOptions(const QString &folder);

    void load();
    // An empty text when saved, else why not.
    QString save() const;
    QString path() const;

    bool palOnlineNotices = false;
    bool keepRunningInTray = true;
    bool trayNoticeShown = false;
    // The talk key as Qt writes a key sequence ("F9", "Ctrl+Space"); empty for none.
    QString talkKey;

private:
    QString m_folder;
};
