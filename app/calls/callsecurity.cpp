// Encryption of calls: options, keys, and the check of each call's peer.
#include "callsecurity.h"

#include "platform/usermessages.h"
#include "userdata/activitylog.h"

#include <QDir>

#include <utility>

namespace
{
const char *const EncryptName = "EncryptCalls";
const char *const RefuseName = "RefusePlainCalls";
} // namespace

CallSecurity::CallSecurity(ActivityLog &log, UserMessages &messages, const QString &configFolder,
                           bool canEncrypt, const QString &peerKeysPath, QObject *parent)
    : QObject(parent), m_log(log), m_messages(messages), m_configFolder(configFolder),
      m_canEncrypt(canEncrypt), m_keys(peerKeysPath)
{
}

void CallSecurity::load()
{
    QStringList lines;
    if (TextFile::readLines(QDir(m_configFolder).filePath(OptionsFileName), &lines)) {
        for (const QString &line : lines) {
            const QString key = line.section(QLatin1Char('='), 0, 0).trimmed();
            const QString value = line.section(QLatin1Char('='), 1).trimmed();
            if (value != QLatin1String("0") && value != QLatin1String("1")) continue;
            if (key == QLatin1String(EncryptName)) m_options.encryptCalls = value == "1";
            if (key == QLatin1String(RefuseName)) m_options.refusePlainCalls = value == "1";
        }
    }
    m_keys.load();
    if (!m_canEncrypt) {
        m_log.addLogEntry(QStringLiteral("Calls cannot be encrypted: this system's Qt has no TLS "
                                         "support (OpenSSL 3 missing)."));
        return;
    }
    QString note;
    m_identity =
        TlsIdentity::loadOrCreate(QDir(m_configFolder).filePath(TlsIdentity::FileName), &note);
    if (!note.isEmpty()) m_log.addLogEntry(note);
}

QString CallSecurity::setOptions(const Options &options)
{
    m_options = options;
    QDir().mkpath(m_configFolder);
    const QStringList lines = {
        QLatin1String(EncryptName) + QLatin1Char('=') + (options.encryptCalls ? "1" : "0"),
        QLatin1String(RefuseName) + QLatin1Char('=') + (options.refusePlainCalls ? "1" : "0")};
    if (const FileError e =
            TextFile::writeLines(QDir(m_configFolder).filePath(OptionsFileName), lines))
        return e.message(QStringLiteral("Could not save the privacy options, "));
    return {};
}

bool CallSecurity::offers() const
{
    return m_options.encryptCalls && m_canEncrypt && m_identity.valid();
}

void CallSecurity::beginCall()
{
    ++m_call;
    m_settled = false;
    m_encrypted = false;
    m_peerKey.clear();
    m_textKey.clear();
    m_code.clear();
}

std::optional<QSslConfiguration> CallSecurity::settle(bool encrypted)
{
    m_settled = true;
    m_encrypted = encrypted && offers();
    if (!m_encrypted) return std::nullopt;
    return m_identity.configuration();
}

void CallSecurity::admit(const QString &peerName, const QSslCertificate &media,
                         std::function<void(bool)> go)
{
    if (!m_encrypted) {
        // A plain call only where plain calls are allowed, and never over a connection that
        // was not agreed on.
        if (refusesPlain()) {
            m_log.addLogEntry(plainRefusedText(peerName));
            m_messages.showInfoMessage(plainRefusedText(peerName));
        }
        go(media.isNull() && !refusesPlain());
        emit changed();
        return;
    }
    m_peerKey = TlsIdentity::keyId(media);
    if (m_peerKey.isEmpty() || (!m_textKey.isEmpty() && m_textKey != m_peerKey)) {
        m_log.addLogEntry(QStringLiteral("The encrypted call with %1 was ended: its connections "
                                         "did not show one key.")
                              .arg(peerName));
        go(false);
        return;
    }
    m_code = TlsIdentity::shortCode(ownKey(), m_peerKey);
    emit changed();
    m_log.addLogEntry(
        QStringLiteral("The call with %1 is encrypted; its code is %2.").arg(peerName, m_code));
    const QByteArray known = m_keys.keyOf(peerName);
    if (known.isEmpty() || known == m_peerKey) {
        if (known.isEmpty()) m_keys.remember(peerName, m_peerKey);
        go(true);
        return;
    }
    const QString warning = KeyChangedText.arg(peerName);
    m_log.addLogEntry(warning);
    const int call = m_call;
    const QByteArray key = m_peerKey;
    m_asking = true;
    m_messages.ask(
        warning +
            QStringLiteral("\n\nThey may have a new computer or have set OVELA up again. It may "
                           "also be someone else calling under their name, or someone on the way "
                           "listening in. Compare the code %1 with them aloud before you speak "
                           "of anything private.\n\nGo on with the call?")
                .arg(m_code),
        [this, call, key, peerName, go](bool yes) {
            if (call != m_call) return; // that call is over
            m_asking = false;
            if (yes) m_keys.remember(peerName, key);
            go(yes);
        });
}

bool CallSecurity::textMatches(const QSslCertificate &text)
{
    if (!m_encrypted) return text.isNull();
    const QByteArray key = TlsIdentity::keyId(text);
    if (key.isEmpty()) return false;
    if (m_peerKey.isEmpty()) {
        m_textKey = key; // compared when the media connection is admitted
        return true;
    }
    return key == m_peerKey;
}

void CallSecurity::endCall()
{
    ++m_call;
    // A question about a call that is over has no answer any more.
    if (std::exchange(m_asking, false)) m_messages.withdrawQuestion();
    emit changed();
}

QString CallSecurity::plainRefusedText(const QString &peerName)
{
    return QStringLiteral("The call with %1 was ended: their program does not encrypt calls (an "
                          "older version, or encryption switched off), and this program is set "
                          "to refuse plain calls.")
        .arg(peerName);
}

QString CallSecurity::description() const
{
    if (m_encrypted && !m_code.isEmpty())
        return QStringLiteral("This call is encrypted: pictures, speech and chat cannot be read "
                              "on the way. Its code is %1; if the other side sees the same code, "
                              "nobody sits in between.")
            .arg(m_code);
    if (!m_settled) return QStringLiteral("No call.");
    return QStringLiteral("This call is not encrypted: the other program cannot encrypt calls "
                          "(an older version, or encryption switched off), so pictures, speech "
                          "and chat cross the network as they are.");
}
