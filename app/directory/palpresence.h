// Which pals are online: the pal connection to the pal server (port 2015, "<ET>" lines), the
// user ID it hands out, and the check cycle that asks about one pal at a time ("GEM"), takes each
// answer ("GER") into the pal table and, after the last pal, rebuilds the pal lists. A cycle
// starts every 45 seconds while the directory window is visible, and from its activation, its
// Refresh button and a new pal. Adding and deleting pals, with their saves, are here too.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class LineClient;
class Transports;
class UserIdentity;
class UserMessages;
struct PalList;

class PalPresence : public QObject
{
    Q_OBJECT
public:
    static constexpr int CheckMs = 45000;
    // A lost connection is tried again after a pause that doubles from 1 s up to 60 s, while
    // there are pals to watch or the directory window is open.
    static constexpr int FirstRetryMs = 1000, LastRetryMs = 60000;

    struct Deps {
        PalList &pals;
        UserIdentity &identity;
        UserMessages &messages;
        Transports &transports;
    };
    explicit PalPresence(const Deps &deps, QObject *parent = nullptr);
    ~PalPresence() override;

    // The pal server: OVELA_PAL_HOST ("host" or "host:port") or the build's default host, on port
    // 2015 unless given.
    void setServer(const QString &host, quint16 port);
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    static void defaultServer(QString *host, quint16 *port);
    // The check timer runs from the directory window's creation until shutdown.
    void start();
    void shutDown();

    void connectPalServer();
    bool connected() const;
    // Logs in again on an open connection with an ID, so the server learns changed details.
    void sendLoginAgain();
    // The connection was lost and has not come back.
    bool connectionLost() const { return m_lost; }
    // tmrCheckPal: keeps the connection, and starts a cycle while the window is visible.
    void checkTick();
    void setWindowVisible(bool visible) { m_windowVisible = visible; }
    // Starts a cycle at the first pal.
    void startCycle();

    // Adds a pal (the address in lower case, the typed text as its name), saves and reloads the
    // list; false when the table is full.
    bool addPal(const QString &name, const QString &address);
    // Deletes pal `index` (1-based) and saves the list.
    void deletePal(int index);
    // Rebuilds the pal lists: pals online and offline (indices, 1-based).
    void fillPalLists();
    const QList<int> &onlinePals() const { return m_online; }
    const QList<int> &offlinePals() const { return m_offline; }

signals:
    void palListsChanged();
    // An answer about a pal nobody asked about: dropped.
    void unaskedAnswer(const QString &email);

private:
    void onConnected(int status);
    void onLine(const QByteArray &line);
    void askAbout(int index);
    void onLost();
    void retryLater();

    Deps m_deps;
    std::unique_ptr<LineClient> m_server; // the pal server
    QString m_host;
    quint16 m_port;
    QTimer m_timer;
    bool m_windowVisible = false;
    QList<int> m_online, m_offline;
    QTimer m_retry;
    int m_retryMs = FirstRetryMs;
    bool m_lost = false, m_closing = false;
};
