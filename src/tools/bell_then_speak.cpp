#include "tools/bell_then_speak.h"

#include "platform/mmedia.h"

BellThenSpeak::BellThenSpeak(Mmedia &media, Speaker speak, QObject *parent)
    : QObject(parent), m_media(media), m_speak(std::move(speak))
{
    m_pause.setSingleShot(true);
    // A coarse timer may fire a little early; the bell is given its full pause.
    m_pause.setTimerType(Qt::PreciseTimer);
    m_pause.setInterval(BellPauseMs);
    connect(&m_pause, &QTimer::timeout, this, &BellThenSpeak::pauseOver);
}

void BellThenSpeak::run(const QString &bellFile, const QString &sentence)
{
    m_waiting.emplace_back(bellFile, sentence);
    if (!m_busy)
        startNext();
}

void BellThenSpeak::startNext()
{
    if (m_waiting.empty()) {
        m_busy = false;
        return;
    }
    m_busy = true;
    const auto [bell, sentence] = m_waiting.front();
    m_waiting.pop_front();
    m_sentence = sentence;
    // A bell that cannot be opened stays silent; the pause and the sentence still follow.
    m_media.mmOpen(bell);
    m_media.mmPlay();
    emit bellStarted(bell);
    m_pause.start();
}

void BellThenSpeak::pauseOver()
{
    m_media.mmClose();
    if (m_speak)
        m_speak(m_sentence);
    emit sentenceHandedOver(m_sentence);
    startNext();
}
