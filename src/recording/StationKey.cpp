#include "recording/StationKey.h"

#include "shell/DurableFile.h"

#include <QDir>
#include <QFile>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <sys/stat.h>

namespace kestro {

namespace {

constexpr size_t kRawKeyBytes = 32;
constexpr size_t kSignatureBytes = 64;
const char kIdPrefix[] = "ed25519:";

struct BioFree {
    void operator()(BIO* b) const { BIO_free(b); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

QString opensslError() {
    const unsigned long e = ERR_get_error();
    char buf[256] = {};
    ERR_error_string_n(e, buf, sizeof buf);
    ERR_clear_error();
    return QString::fromLatin1(buf);
}

QByteArray bioBytes(BIO* b) {
    char* data = nullptr;
    const long n = BIO_get_mem_data(b, &data);
    return n > 0 ? QByteArray(data, int(n)) : QByteArray();
}

bool isEd25519(EVP_PKEY* k) { return k && EVP_PKEY_get_id(k) == EVP_PKEY_ED25519; }

Pkey readPrivate(const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("%1: %2").arg(path, f.errorString());
        return nullptr;
    }
    const QByteArray pem = f.readAll();
    Bio bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    Pkey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!isEd25519(key.get())) {
        if (error) *error = QStringLiteral("%1 holds no Ed25519 private key").arg(path);
        return nullptr;
    }
    // Whoever loosened it: a signing key others can read proves nothing.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & 077) != 0)
        ::chmod(QFile::encodeName(path).constData(), 0600);
    return key;
}

}  // namespace

QString stationKeyPath(const QString& dataDir) { return QDir(dataDir).filePath(QStringLiteral("station_key.pem")); }
QString stationPublicKeyPath(const QString& dataDir) {
    return QDir(dataDir).filePath(QStringLiteral("station_key.pub.pem"));
}

StationKey::StationKey(evp_pkey_st* key) : key_(key) {}
StationKey::~StationKey() { EVP_PKEY_free(key_); }

std::shared_ptr<const StationKey> StationKey::loadOrCreate(const QString& dataDir, QString* error) {
    if (dataDir.isEmpty() || !QDir().mkpath(dataDir)) {
        if (error) *error = QStringLiteral("no data directory for the station key");
        return nullptr;
    }
    const QString path = stationKeyPath(dataDir);
    if (!QFile::exists(path)) {
        Pkey fresh(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
        Bio bio(BIO_new(BIO_s_mem()));
        if (!fresh || !PEM_write_bio_PrivateKey(bio.get(), fresh.get(), nullptr, nullptr, 0, nullptr, nullptr)) {
            if (error) *error = QStringLiteral("the station key cannot be made: ") + opensslError();
            return nullptr;
        }
        QString why;
        if (!createFileDurably(path, bioBytes(bio.get()), 0600, &why) && !QFile::exists(path)) {
            if (error) *error = why;
            return nullptr;
        }
    }
    Pkey key = readPrivate(path, error);
    if (!key) return nullptr;
    std::shared_ptr<const StationKey> out(new StationKey(key.release()));
    // The public half beside it, for whoever verifies elsewhere.
    const QString pub = stationPublicKeyPath(dataDir);
    QFile current(pub);
    if (!current.open(QIODevice::ReadOnly) || current.readAll() != out->publicKeyPem()) {
        current.close();
        QFile::remove(pub);
        createFileDurably(pub, out->publicKeyPem(), 0644);
    }
    return out;
}

QByteArray StationKey::sign(const QByteArray& message) const {
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    QByteArray sig(int(kSignatureBytes), Qt::Uninitialized);
    size_t n = kSignatureBytes;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key_) != 1 ||
        EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(sig.data()), &n,
                       reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size())) != 1 ||
        n != kSignatureBytes) {
        ERR_clear_error();
        return QByteArray();
    }
    return sig;
}

QByteArray StationKey::publicKeyPem() const {
    Bio bio(BIO_new(BIO_s_mem()));
    return bio && PEM_write_bio_PUBKEY(bio.get(), key_) ? bioBytes(bio.get()) : QByteArray();
}

QByteArray StationKey::publicKeyRaw() const {
    QByteArray raw(int(kRawKeyBytes), Qt::Uninitialized);
    size_t n = kRawKeyBytes;
    if (EVP_PKEY_get_raw_public_key(key_, reinterpret_cast<unsigned char*>(raw.data()), &n) != 1) return QByteArray();
    return raw.left(int(n));
}

QString StationKey::id() const { return QLatin1String(kIdPrefix) + QString::fromLatin1(publicKeyRaw().toBase64()); }

std::optional<QByteArray> readPublicKey(const QByteArray& text, QString* error) {
    const QByteArray t = text.trimmed();
    if (t.startsWith(kIdPrefix)) {
        const QByteArray raw = QByteArray::fromBase64(t.mid(int(sizeof kIdPrefix) - 1));
        if (raw.size() == int(kRawKeyBytes)) return raw;
    }
    Bio bio(BIO_new_mem_buf(t.constData(), int(t.size())));
    Pkey key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key) {
        Bio again(BIO_new_mem_buf(t.constData(), int(t.size())));
        key.reset(PEM_read_bio_PrivateKey(again.get(), nullptr, nullptr, nullptr));
    }
    ERR_clear_error();
    QByteArray raw(int(kRawKeyBytes), Qt::Uninitialized);
    size_t n = kRawKeyBytes;
    if (!isEd25519(key.get()) ||
        EVP_PKEY_get_raw_public_key(key.get(), reinterpret_cast<unsigned char*>(raw.data()), &n) != 1) {
        if (error) *error = QStringLiteral("no Ed25519 public key (PEM) in it");
        return std::nullopt;
    }
    return raw.left(int(n));
}

bool verifySignature(const QByteArray& publicKeyRaw, const QByteArray& message, const QByteArray& signature) {
    if (signature.size() != int(kSignatureBytes)) return false;
    Pkey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                         reinterpret_cast<const unsigned char*>(publicKeyRaw.constData()),
                                         size_t(publicKeyRaw.size())));
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    const bool ok =
        key && ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
        EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                         size_t(signature.size()), reinterpret_cast<const unsigned char*>(message.constData()),
                         size_t(message.size())) == 1;
    ERR_clear_error();
    return ok;
}

}  // namespace kestro
