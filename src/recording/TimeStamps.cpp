#include "recording/TimeStamps.h"

#include <QCryptographicHash>
#include <QFile>

#include <openssl/err.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <cstring>
#include <memory>

namespace kestro {

namespace {

template <typename T, void (*F)(T*)>
struct Free {
    void operator()(T* p) const { F(p); }
};
using Req = std::unique_ptr<TS_REQ, Free<TS_REQ, TS_REQ_free>>;
using Imprint = std::unique_ptr<TS_MSG_IMPRINT, Free<TS_MSG_IMPRINT, TS_MSG_IMPRINT_free>>;
using Algo = std::unique_ptr<X509_ALGOR, Free<X509_ALGOR, X509_ALGOR_free>>;
using Resp = std::unique_ptr<TS_RESP, Free<TS_RESP, TS_RESP_free>>;
using VerifyCtx = std::unique_ptr<TS_VERIFY_CTX, Free<TS_VERIFY_CTX, TS_VERIFY_CTX_free>>;

QString opensslError() {
    char buf[256] = {};
    ERR_error_string_n(ERR_get_error(), buf, sizeof buf);
    ERR_clear_error();
    return QString::fromLatin1(buf);
}

// Checks reply against data with the flags given; store: the authority's certificates (owned by the check).
bool check(const QByteArray& reply, const QByteArray& data, int flags, X509_STORE* store, QString* genTime,
           QString* error) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(reply.constData());
    Resp resp(d2i_TS_RESP(nullptr, &p, long(reply.size())));
    VerifyCtx ctx(TS_VERIFY_CTX_new());
    const QByteArray digest = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
    auto* imprint = static_cast<unsigned char*>(OPENSSL_malloc(size_t(digest.size())));
    if (!resp || !ctx || !imprint) {
        OPENSSL_free(imprint);
        X509_STORE_free(store);
        if (error) *error = resp ? opensslError() : QStringLiteral("no time-stamp reply");
        ERR_clear_error();
        return false;
    }
    std::memcpy(imprint, digest.constData(), size_t(digest.size()));
    TS_VERIFY_CTX_set_flags(ctx.get(), flags);
    TS_VERIFY_CTX_set_imprint(ctx.get(), imprint, long(digest.size()));
    if (store) TS_VERIFY_CTX_set_store(ctx.get(), store);
    if (TS_RESP_verify_response(ctx.get(), resp.get()) != 1) {
        if (error) *error = opensslError();
        return false;
    }
    if (genTime) {
        const ASN1_GENERALIZEDTIME* t = TS_TST_INFO_get_time(TS_RESP_get_tst_info(resp.get()));
        *genTime = QString::fromLatin1(reinterpret_cast<const char*>(ASN1_STRING_get0_data(t)), ASN1_STRING_length(t));
    }
    return true;
}

}  // namespace

QByteArray timeStampQuery(const QByteArray& data) {
    const QByteArray digest = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
    Req req(TS_REQ_new());
    Imprint imprint(TS_MSG_IMPRINT_new());
    Algo algo(X509_ALGOR_new());
    if (!req || !imprint || !algo) return QByteArray();
    X509_ALGOR_set0(algo.get(), OBJ_nid2obj(NID_sha256), V_ASN1_NULL, nullptr);
    unsigned char* der = nullptr;
    const bool ok =
        TS_MSG_IMPRINT_set_algo(imprint.get(), algo.get()) == 1 &&
        TS_MSG_IMPRINT_set_msg(imprint.get(), reinterpret_cast<unsigned char*>(const_cast<char*>(digest.constData())),
                               int(digest.size())) == 1 &&
        TS_REQ_set_version(req.get(), 1) == 1 && TS_REQ_set_msg_imprint(req.get(), imprint.get()) == 1 &&
        TS_REQ_set_cert_req(req.get(), 1) == 1;
    const int n = ok ? i2d_TS_REQ(req.get(), &der) : -1;
    QByteArray out = n > 0 ? QByteArray(reinterpret_cast<const char*>(der), n) : QByteArray();
    OPENSSL_free(der);
    ERR_clear_error();
    return out;
}

bool timeStampReplyFits(const QByteArray& reply, const QByteArray& data, QString* error) {
    return check(reply, data, TS_VFY_VERSION | TS_VFY_IMPRINT, nullptr, nullptr, error);
}

bool verifyTimeStamp(const QByteArray& reply, const QByteArray& data, const QString& caFile, QString* genTime,
                     QString* error) {
    X509_STORE* store = X509_STORE_new();
    if (!store || X509_STORE_load_file(store, QFile::encodeName(caFile).constData()) != 1) {
        X509_STORE_free(store);
        if (error) *error = QStringLiteral("%1 holds no certificate: %2").arg(caFile, opensslError());
        return false;
    }
    return check(reply, data, TS_VFY_VERSION | TS_VFY_IMPRINT | TS_VFY_SIGNER | TS_VFY_SIGNATURE, store, genTime,
                 error);
}

}  // namespace kestro
