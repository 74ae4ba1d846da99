#pragma once
// The station's own Ed25519 key pair, which signs every closed side file.
// Made at the first start in the program's data place, never in a record
// directory: station_key.pem (PKCS #8, mode 0600) and station_key.pub.pem
// beside it. A signature is the 64 raw bytes over a side file's exact bytes,
// in "<side file>.sig", so that the stock openssl command line checks it.

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

struct evp_pkey_st;

namespace kestro {

class StationKey {
public:
    // Reads the key pair of dataDir, making it when there is none; none when
    // it can be neither read nor made.
    static std::shared_ptr<const StationKey> loadOrCreate(const QString& dataDir, QString* error = nullptr);
    ~StationKey();
    StationKey(const StationKey&) = delete;
    StationKey& operator=(const StationKey&) = delete;

    // 64 bytes; empty when signing failed.
    QByteArray sign(const QByteArray& message) const;
    QByteArray publicKeyPem() const;
    QByteArray publicKeyRaw() const;  // 32 bytes
    // "ed25519:<base64 of the raw public key>": names the station in its side files.
    QString id() const;

private:
    explicit StationKey(evp_pkey_st* key);
    evp_pkey_st* key_;
};

QString stationKeyPath(const QString& dataDir);
QString stationPublicKeyPath(const QString& dataDir);
inline constexpr const char* kSignatureSuffix = ".sig";

// The raw 32 bytes of an Ed25519 public key given as PEM (the public key file
// or, for convenience, the private one) or as a station id.
std::optional<QByteArray> readPublicKey(const QByteArray& text, QString* error = nullptr);
bool verifySignature(const QByteArray& publicKeyRaw, const QByteArray& message, const QByteArray& signature);

}  // namespace kestro
