// The program's own long-term key for encrypted calls: an elliptic-curve key (P-256) with a
// self-signed certificate, made at first start and kept in one file readable by the user only.
// Peers are not known by a certificate authority but by their key itself: keyId() names a key by
// the SHA-256 of its public part, which the two people compare (as a short code) and which the
// program remembers per pal.
#pragma once

#include <QByteArray>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QString>

class TlsIdentity
{
public:
    inline static const QString FileName = QStringLiteral("callkey");

    // Reads the key file at `path`; a missing one is made, a damaged one is set aside as
    // path + ".damaged" and a new one made. `note` says what happened when it was not a plain
    // read (for the activity log); an identity that is not valid() could not be made or saved,
    // and `note` says why.
    static TlsIdentity loadOrCreate(const QString &path, QString *note);

    bool valid() const { return !m_certificate.isNull() && !m_key.isNull(); }
    const QSslCertificate &certificate() const { return m_certificate; }
    // The TLS 1.3 settings of a call's connection on either side: this key and certificate,
    // and the peer's certificate asked for but not checked against any authority (the call
    // checks the peer's key itself).
    QSslConfiguration configuration() const;
    QByteArray keyId() const { return keyId(m_certificate); }

    // SHA-256 of a certificate's public key (its SubjectPublicKeyInfo); empty for none.
    static QByteArray keyId(const QSslCertificate &certificate);
    // The code both people see for a call between the keys a and b (in either order): six digits
    // in two groups ("482 913").
    static QString shortCode(const QByteArray &a, const QByteArray &b);

private:
    QSslCertificate m_certificate;
    QSslKey m_key;
};
