// The directory window without the window: the server choice, the directory list with its
// icons, the two pal lists, the status bar, and what its buttons, keys, clicks and activation do
// (calls, Send Message's checks, new and deleted pals, refreshing, the redirect prompt, the
// window's size).
#pragma once

#include <QObject>
#include <QSize>
#include <QStringList>

class DirectoryClient;
class PalPresence;
class UserMessages;
struct PalList;
struct Settings;

class DirectoryModel : public QObject
{
    Q_OBJECT
public:
    // The list's icons, 1 to 9 (see iconFor).
    static constexpr int IconCount = 9;
    // The smallest window, in twips.
    static constexpr int MinimumWidthTwips = 6200, MinimumHeightTwips = 5700;
    static constexpr int RefreshAfterDays = 60;

    struct Deps {
        Settings &settings;
        DirectoryClient &directory;
        PalPresence &presence;
        PalList &pals;
        UserMessages &messages;
    };
    explicit DirectoryModel(const Deps &deps, QObject *parent = nullptr);

    // One line of a list: its key ("0012A") and texts.
    struct Row {
        QString key, name, location, comment;
        int icon = 7;
    };
    QList<Row> users() const;
    QList<Row> onlinePals() const;
    QList<Row> offlinePals() const;
    // A list's key for table index `index` (four digits and "A": "0012A"), and back.
    static QString listKey(int index);
    static int keyIndex(const QString &key);
    // The icon of a listed user: by status, kind, video and audio.
    static int iconFor(int status, int kind, bool video, bool audio);

    QString status() const;
    bool listStale() const;
    QString onlineCount() const;
    QString listedCount() const;
    QStringList serverChoices() const;
    // The server as the choice box shows it at load: DirAddress ":" DirPort.
    QString serverText() const;

    // The main window's Directory command: the next activation refreshes.
    void openedByCommand() { m_forceRefresh = true; }
    void activated();
    void setVisible(bool visible);
    // A server chosen or typed into the choice box.
    void chooseServer(const QString &text);

    // A click in a list; the address for the call box, or empty when nothing may be called.
    QString selectUser(const QString &key);
    QString selectOnlinePal(const QString &key);
    bool callEnabled() const { return m_callEnabled; }
    void enableCall() { m_callEnabled = true; }
    void callUser(const QString &key);
    void callPal(const QString &key);
    // The Call button (or Enter in the call box), with the directory user selected, if any.
    void call(const QString &address, const QString &selectedUserKey);
    void sendMessage(const QString &selectedUserKey, const QString &selectedPalKey);
    void refresh();
    // New Pal's OK: false (and the user told why) when nothing was typed.
    bool addPal(const QString &address);
    void deletePal(const QString &onlineKey, const QString &offlineKey);
    // The redirect prompt's Yes, with its address.
    void acceptRedirect(const QString &address);

    QSize sizeTwips() const;
    // The window's new size; below the minimum, the minimum (which is returned).
    QSize resized(int widthTwips, int heightTwips);

signals:
    void usersChanged();
    void palsChanged();
    void statusChanged();
    void serverChoicesChanged();
    void serverTextChanged(const QString &text);
    void redirectOffered(const QString &address, const QString &description);
    // A call to place: the address and port, and the listed user's entry (1-based; 0 for a pal
    // or a typed address).
    void callRequested(const QString &address, int port, int entry);
    // Send Message: a quick message to this user.
    void composeRequested(const QString &name, const QString &location, const QString &address,
                          int port);

private:
    int userIndex(const QString &key) const;

    Deps m_deps;
    bool m_forceRefresh = false;
    qint64 m_nextRefreshDay = 0;
    bool m_callEnabled = false;
};
