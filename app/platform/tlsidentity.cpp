// The call key file: a PEM private key followed by its PEM certificate.
#include "tlsidentity.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <memory>

namespace
{
template <auto Free> struct Deleter {
    template <typename T> void operator()(T *p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using PKey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509_free>>;

constexpr long ValidDays = 36500; // peers check the key, never the dates

QByteArray bioBytes(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, int(size));
}

// A new key and its certificate in PEM; empty when OpenSSL could not make them.
QByteArray makeKeyFile()
{
    PKey key(EVP_EC_gen("P-256"));
    Cert cert(X509_new());
    if (!key || !cert) return {};
    unsigned char serial[8];
    if (RAND_bytes(serial, sizeof serial) != 1) return {};
    serial[0] &= 0x7f;
    BIGNUM *number = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool made = number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get())) &&
                      X509_set_version(cert.get(), 2) &&
                      X509_time_adj_ex(X509_getm_notBefore(cert.get()), -1, 0, nullptr) &&
                      X509_time_adj_ex(X509_getm_notAfter(cert.get()), ValidDays, 0, nullptr) &&
                      X509_set_pubkey(cert.get(), key.get()) &&
                      X509_NAME_add_entry_by_txt(
                          X509_get_subject_name(cert.get()), "CN", MBSTRING_ASC,
                          reinterpret_cast<const unsigned char *>("OVELA call key"), -1, -1, 0) &&
                      X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get())) &&
                      X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
    BN_free(number);
    if (!made) return {};
    Bio out(BIO_new(BIO_s_mem()));
    if (!PEM_write_bio_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) ||
        !PEM_write_bio_X509(out.get(), cert.get()))
        return {};
    return bioBytes(out.get());
}

// The key and certificate of a key file, when both are there and belong together.
bool readKeyFile(const QByteArray &pem, QSslKey *key, QSslCertificate *certificate)
{
    Bio in(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    PKey pkey(PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr));
    Cert cert(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
    if (!pkey || !cert || X509_check_private_key(cert.get(), pkey.get()) != 1 ||
        EVP_PKEY_get_base_id(pkey.get()) != EVP_PKEY_EC)
        return false;
    Bio keyOut(BIO_new(BIO_s_mem())), certOut(BIO_new(BIO_s_mem()));
    if (!PEM_write_bio_PrivateKey(keyOut.get(), pkey.get(), nullptr, nullptr, 0, nullptr,
                                  nullptr) ||
        !PEM_write_bio_X509(certOut.get(), cert.get()))
        return false;
    *key = QSslKey(bioBytes(keyOut.get()), QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);
    *certificate = QSslCertificate(bioBytes(certOut.get()), QSsl::Pem);
    return !key->isNull() && !certificate->isNull();
}

// Writes the file whole, readable and writable by its owner only.
QString writeKeyFile(const QString &path, const QByteArray &pem)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(pem);
    if (!file.commit()) return file.errorString();
    return {};
}
} // namespace

TlsIdentity TlsIdentity::loadOrCreate(const QString &path, QString *note)
{
    TlsIdentity identity;
    note->clear();
    QFile file(path);
    const bool exists = file.exists();
    if (exists && file.open(QIODevice::ReadOnly)) {
        const QByteArray pem = file.read(64 * 1024);
        file.close();
        if (readKeyFile(pem, &identity.m_key, &identity.m_certificate)) {
            // A file others could read is no longer private: keep it, but only for its owner.
            if (file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther))
                file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            return identity;
        }
    }
    if (exists) {
        const QString aside = path + QStringLiteral(".damaged");
        QFile::remove(aside);
        QFile::rename(path, aside);
        *note = QStringLiteral("The call key file %1 could not be read; it was set aside as %2 "
                               "and a new key was made (pals will be told the key changed).")
                    .arg(path, aside);
    } else {
        *note = QStringLiteral("Made this program's call key (%1).").arg(path);
    }
    const QByteArray pem = makeKeyFile();
    if (pem.isEmpty() || !readKeyFile(pem, &identity.m_key, &identity.m_certificate)) {
        *note = QStringLiteral("Could not make a call key; calls will not be encrypted.");
        return {};
    }
    if (const QString error = writeKeyFile(path, pem); !error.isEmpty()) {
        *note = QStringLiteral("Could not save the call key in %1 (%2); calls will not be "
                               "encrypted.")
                    .arg(path, error);
        return {};
    }
    return identity;
}

QSslConfiguration TlsIdentity::configuration() const
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setProtocol(QSsl::TlsV1_3OrLater);
    tls.setLocalCertificate(m_certificate);
    tls.setPrivateKey(m_key);
    tls.setPeerVerifyMode(QSslSocket::QueryPeer);
    tls.setCaCertificates({});
    return tls;
}

QByteArray TlsIdentity::keyId(const QSslCertificate &certificate)
{
    if (certificate.isNull()) return {};
    const QByteArray der = certificate.toDer();
    const auto *p = reinterpret_cast<const unsigned char *>(der.constData());
    Cert cert(d2i_X509(nullptr, &p, der.size()));
    if (!cert) return {};
    unsigned char *spki = nullptr;
    const int size = i2d_PUBKEY(X509_get0_pubkey(cert.get()), &spki);
    if (size <= 0) return {};
    const QByteArray id = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char *>(spki), size), QCryptographicHash::Sha256);
    OPENSSL_free(spki);
    return id;
}

QString TlsIdentity::shortCode(const QByteArray &a, const QByteArray &b)
{
    const QByteArray both = a < b ? a + b : b + a;
    const QByteArray hash =
        QCryptographicHash::hash("ovela call code" + both, QCryptographicHash::Sha256);
    quint64 n = 0;
    for (int i = 0; i < 8; ++i)
        n = (n << 8) | quint8(hash[i]);
    const QString digits = QStringLiteral("%1").arg(n % 1000000, 6, 10, QLatin1Char('0'));
    return digits.left(3) + QLatin1Char(' ') + digits.mid(3);
}
