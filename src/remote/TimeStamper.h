#pragma once
// Asks a time-stamping authority (RFC 3161 over HTTP) for a token over each
// closed side file and keeps it beside it (TimeStamps.h). The side files
// waiting for one are listed on disk, so a station without network keeps
// recording and asks again later, also after a restart.

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <functional>

namespace kestro {

class TimeStamper : public QObject {
    Q_OBJECT
public:
    using LogFn = std::function<void(const QString&)>;
    // Side files still without a token are asked for again after this long, or when the next one closes.
    static constexpr int kRetryMs = 60 * 1000;

    // queueDir: where the list of waiting side files is kept (created when needed).
    TimeStamper(const QUrl& authority, const QString& queueDir, LogFn log, QObject* parent = nullptr);

    // A side file just closed; also takes up what an earlier run left waiting.
    void stamp(const QString& sidePath);
    int waiting() const { return int(waiting_.size()); }

private:
    void askNext();
    void saveList();

    QUrl authority_;
    QString listPath_;
    LogFn log_;
    QNetworkAccessManager network_;
    QStringList waiting_;
    bool asking_ = false;
    QString lastFailure_;
    QTimer retry_;
};

}  // namespace kestro
