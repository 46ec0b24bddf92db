#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

// Starts the MP3 encoder `lame` on one WAV file and reports how it ended. The program folder's
// `lame` is preferred, then the one on PATH; the arguments go as a list ("-f", input, output),
// so blanks in paths are harmless and no shell is involved. Callers watch the output file's size
// for progress and learn the end from finished() (or isRunning() from their timers).
class Mp3Encoder : public QObject
{
    Q_OBJECT
public:
    explicit Mp3Encoder(QObject *parent = nullptr);
    ~Mp3Encoder() override;

    // The encoder program that would be started; empty when there is none.
    static QString program();

    // Starts encoding; false (with failure() saying why) when it cannot be started at all.
    // An encoder still running from an earlier start is ended first.
    bool start(const QString &input, const QString &output);
    // Ends a running encoder; its output file is left for the caller to remove.
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process.processId(); }
    QString input() const { return m_input; }
    QString output() const { return m_output; }

    // Once the encoder is no longer running: empty when it made the output file, else the reason
    // it did not (could not start, failed, crashed, or left no file).
    QString failure() const;

signals:
    // The encoder has ended, or could not be started after all; failure() says how it went.
    void finished();

private:
    void keepErrorOutput();

    QProcess m_process;
    QString m_input;
    QString m_output;
    QString m_startError;
    QByteArray m_errorTail;  // the end of what the encoder said on standard error
    bool m_starting = false; // inside start(), which reports a failure by its result
};
