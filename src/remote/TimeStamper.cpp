#include "remote/TimeStamper.h"

#include "recording/EvidenceFiles.h"
#include "recording/TimeStamps.h"

#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace kestro {

TimeStamper::TimeStamper(const QUrl& authority, const QString& queueDir, LogFn log, QObject* parent)
    : QObject(parent),
      authority_(authority),
      listPath_(QDir(queueDir).filePath(QStringLiteral("waiting.txt"))),
      log_(std::move(log)) {
    QDir().mkpath(queueDir);
    QFile f(listPath_);
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray& line : f.readAll().split('\n'))
            if (!line.trimmed().isEmpty()) waiting_ << QFile::decodeName(line.trimmed());
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &TimeStamper::askNext);
    askNext();
}

void TimeStamper::stamp(const QString& sidePath) {
    if (!waiting_.contains(sidePath)) waiting_ << sidePath;
    saveList();
    // A new side file is a moment to try again as good as any.
    retry_.stop();
    askNext();
}

void TimeStamper::saveList() {
    QByteArray bytes;
    for (const QString& p : waiting_)
        bytes += QFile::encodeName(p) + '\n';
    writeFileDurably(listPath_, bytes);
}

void TimeStamper::askNext() {
    if (asking_ || waiting_.isEmpty() || retry_.isActive()) return;
    const QString side = waiting_.front();
    QFile f(side);
    // A side file that is gone, or already stamped, waits for nothing.
    if (!f.open(QIODevice::ReadOnly) || QFile::exists(side + QLatin1String(kTimeStampSuffix))) {
        waiting_.removeFirst();
        saveList();
        askNext();
        return;
    }
    const QByteArray bytes = f.readAll();
    QNetworkRequest request(authority_);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/timestamp-query"));
    request.setTransferTimeout(30000);
    asking_ = true;
    QNetworkReply* reply = network_.post(request, timeStampQuery(bytes));
    connect(reply, &QNetworkReply::finished, this, [this, reply, side, bytes] {
        reply->deleteLater();
        asking_ = false;
        const QByteArray answer = reply->readAll();
        QString why = reply->error() != QNetworkReply::NoError ? reply->errorString() : QString();
        if (why.isEmpty() && timeStampReplyFits(answer, bytes, &why) &&
            writeFileDurably(side + QLatin1String(kTimeStampSuffix), answer, &why)) {
            lastFailure_.clear();
            waiting_.removeAll(side);
            saveList();
            askNext();
            return;
        }
        // Said once per kind of failure: an authority out of reach for a day is one line.
        if (log_ && why != lastFailure_)
            log_(QStringLiteral("Time stamp: %1 gave none for %2 (%3); %4 side files wait, asked again every %5 s")
                     .arg(authority_.toString(), side, why)
                     .arg(waiting_.size())
                     .arg(kRetryMs / 1000));
        lastFailure_ = why;
        retry_.start(kRetryMs);
    });
}

}  // namespace kestro
