// Whether a call is encrypted, and with whom: this program's call key, the two options (encrypt
// calls, refuse plain calls, in a small file of their own, "privacy"), the keys remembered per
// peer, and for the current call whether it runs over TLS, the peer's key, and the short code
// both people see. The key check holds a call whose peer's key differs from the one remembered
// for that name until the user says to go on.
#pragma once

#include "platform/tlsidentity.h"
#include "userdata/peerkeys.h"

#include <QObject>
#include <QSslConfiguration>

#include <functional>
#include <optional>

class ActivityLog;
class UserMessages;

class CallSecurity : public QObject
{
    Q_OBJECT
public:
    inline static const QString OptionsFileName = QStringLiteral("privacy");

    struct Options {
        bool encryptCalls = true;
        bool refusePlainCalls = false;
    };

    // `canEncrypt`: whether the transports can run TLS at all.
    CallSecurity(ActivityLog &log, UserMessages &messages, const QString &configFolder,
                 bool canEncrypt, const QString &peerKeysPath = PeerKeys::FileName,
                 QObject *parent = nullptr);

    // Start-up: the options, the call key (made at first start) and the remembered keys.
    void load();
    const Options &options() const { return m_options; }
    // Saves at once; an empty text when saved, else why not.
    QString setOptions(const Options &options);

    // Whether this program offers encryption to a peer (the option is on and a key exists).
    bool offers() const;
    bool refusesPlain() const { return m_options.refusePlainCalls; }
    QByteArray ownKey() const { return m_identity.keyId(); }

    // A new call (a request came in, or a call is placed): nothing is known of it yet.
    void beginCall();
    // The two sides agreed: the TLS settings of the call's connections, or nullopt when the
    // call runs in the clear.
    std::optional<QSslConfiguration> settle(bool encrypted);

    // A call's connection is up. The media connection's certificate (null in the clear) decides
    // the call: `go(true)` at once when the call may start, later (or with false) when the
    // user is asked because the key of `peerName` changed. A text connection's certificate
    // must be the media connection's.
    void admit(const QString &peerName, const QSslCertificate &media, std::function<void(bool)> go);
    bool textMatches(const QSslCertificate &text);
    void endCall();

    // The current (or last) call.
    bool encrypted() const { return m_encrypted; }
    QString code() const { return m_code; }
    // The lock's tooltip: in words, whether and how the call is protected.
    QString description() const;

    // What the user is told when a call ends because it could only be plain.
    static QString plainRefusedText(const QString &peerName);
    inline static const QString KeyChangedText =
        QStringLiteral("The key of %1 has changed since your last call.");

signals:
    // The call's encryption or code changed (a call entered or ended).
    void changed();

private:
    ActivityLog &m_log;
    UserMessages &m_messages;
    QString m_configFolder;
    bool m_canEncrypt;
    PeerKeys m_keys;
    Options m_options;
    TlsIdentity m_identity;
    bool m_settled = false;
    bool m_encrypted = false;
    QByteArray m_peerKey, m_textKey;
    QString m_code;
    int m_call = 0; // the current call's serial, so a late answer to a question is dropped
    bool m_asking = false;
};
