#pragma once

#include <QString>

#include <functional>

// Plays one sound or video file at a time through the media command strings, under a private
// alias: open, play (waiting or not), pause, stop, seek, close, and read-outs of length,
// position and mode. Return codes are ignored: a missing file, an unsupported type or a busy
// device simply leave nothing heard; a caller that needs certainty reads Status().
class Mmedia
{
public:
    // Sends one command string; returns its error number and puts a query's answer in the text.
    using Sender = std::function<int(const QString &command, QString *answer)>;

    Mmedia();
    explicit Mmedia(Sender sender);

    // The one instance the program shares, made on first use; opening a file through it closes
    // whatever another caller had open.
    static Mmedia &shared();

    void mmOpen(const QString &sTheFile);
    void mmClose();
    void mmPause();
    void mmPlay();
    void mmStop();
    void mmSeek(float nPosition);

    QString Filename() const { return sFilename; }
    void setFilename(const QString &fileName) { mmOpen(fileName); }
    bool Wait() const { return bWait; }
    void setWait(bool wait) { bWait = wait; }
    float Length();
    float Position();
    void setPosition(float position) { mmSeek(position); }
    QString Status();

    QString alias() const { return sAlias; }
    // Replaces how commands are sent (tests watch them this way); the default is mciSendString.
    void setSender(Sender sender);

private:
    void send(const QString &command);
    QString query(const QString &item);

    QString sAlias;
    QString sFilename;
    bool bWait = false;
    Sender m_send;
};

// A number in its shortest decimal text form: 1500 -> "1500", 2.5 -> "2.5".
QString shortestNumberText(float value);
// The leading decimal number of an answer, 0 when it does not start with one.
float leadingNumber(const QString &text);
