#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>

class Mmedia;

// The talking clock's announcement: the bell starts, two seconds later it is closed (a longer
// bell is cut off there) and the sentence is handed to the voice. The pause is a timer step,
// so the window thread keeps feeding the bell and repainting meanwhile. An announcement asked
// for during another's pause waits its turn, so bells and sentences never overlap.
class BellThenSpeak : public QObject
{
    Q_OBJECT
public:
    using Speaker = std::function<void(const QString &sentence)>;
    static constexpr int BellPauseMs = 2000;

    BellThenSpeak(Mmedia &media, Speaker speak, QObject *parent = nullptr);

    void run(const QString &bellFile, const QString &sentence);
    bool isBusy() const { return m_busy; }

signals:
    // The bell has been opened and started (whether or not it could be played).
    void bellStarted(const QString &bellFile);
    // The bell is closed and the sentence has been handed to the voice.
    void sentenceHandedOver(const QString &sentence);

private:
    void startNext();
    void pauseOver();

    Mmedia &m_media;
    Speaker m_speak;
    QTimer m_pause;
    std::deque<std::pair<QString, QString>> m_waiting;
    QString m_sentence;
    bool m_busy = false;
};
