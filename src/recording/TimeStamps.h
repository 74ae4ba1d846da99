#pragma once
// RFC 3161 time stamps of closed side files: the query a time-stamping
// authority is asked, the check of its reply, and the full check against the
// authority's certificate. A reply is kept beside its side file as
// "<side file>.tsr" (DER), as `openssl ts -verify -in X.tsr -data X -CAfile CA`
// reads it.

#include <QByteArray>
#include <QString>

namespace kestro {

inline constexpr const char* kTimeStampSuffix = ".tsr";

// A DER time-stamp query over the SHA-256 of data, asking for the signer's certificate.
QByteArray timeStampQuery(const QByteArray& data);
// Whether reply grants a time stamp over exactly data (its signature unchecked).
bool timeStampReplyFits(const QByteArray& reply, const QByteArray& data, QString* error = nullptr);
// The full check: granted, over data, signed by a certificate that leads to one
// in caFile; genTime: when the authority says it stamped it (UTC, as it wrote it).
bool verifyTimeStamp(const QByteArray& reply, const QByteArray& data, const QString& caFile, QString* genTime,
                     QString* error = nullptr);

}  // namespace kestro
