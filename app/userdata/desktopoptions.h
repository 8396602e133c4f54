// How OVELA behaves on the desktop around it: whether a pal coming online is announced by a
// notification, whether closing the main window leaves the program running in the tray, and
// whether the user has been told so once. Kept in a small file of its own beside the settings
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

private:
    QString m_folder;
};
