#pragma once
// Every message box goes through this seam: a message box in the program,
// standard error when running headless, a recorder in tests. Every line for
// standard error goes through writeStderrLine.

#include <QByteArray>
#include <QString>

namespace kestro {

// sd-daemon levels: the journal reads a leading "<N>" as the line's priority,
// so `journalctl -p warning` finds a lost meter or a failing disk.
enum class Priority { Error = 3, Warning = 4, Info = 6 };

// JOURNAL_STREAM ("device:inode") names the stream the journal connected. A
// child inherits the variable even when its standard error went elsewhere, so
// only a stream with that identity is the journal.
bool isJournalStream(const QByteArray& journalStream, unsigned long long device, unsigned long long inode);
// "KestroRecorder: text", with its priority prefix when journal; the line
// breaks of text are folded ("; ") so that one failure stays one line.
QByteArray stderrLine(Priority priority, const QString& text, bool journal);
// Writes stderrLine, prefixed when standard error is the journal.
void writeStderrLine(Priority priority, const QString& text);

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A modal message with one OK button and the application title as caption.
    // detail: optional detailed text (device path, system reason, hints).
    virtual void showMessage(const QString& text, const QString& detail = QString()) = 0;
    // A modal question with OK and Cancel; true for OK.
    virtual bool ask(const QString& text) = 0;
};

// Headless, a message box is a refused start: an error line.
class StderrMessageSink final : public MessageSink {
public:
    void showMessage(const QString& text, const QString& detail) override;
    // Nobody can answer: the question is told and taken as OK.
    bool ask(const QString& text) override;
};

}  // namespace kestro
