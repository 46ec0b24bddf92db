#include "speech/reading_progress.h"

namespace ReadingProgress {

namespace {
QString lastTwoDigits(qint64 number)
{
    return (QStringLiteral("0") + QString::number(number)).right(2);
}
} // namespace

QString elapsedText(qint64 seconds)
{
    const qint64 s = std::max<qint64>(0, seconds);
    return lastTwoDigits(s / 3600) + u':' + lastTwoDigits((s / 60) % 60) + u':' + lastTwoDigits(s % 60);
}

QString halfWidthDigits(QString text)
{
    for (QChar &c : text) {
        if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19)
            c = QChar(u'0' + (c.unicode() - 0xFF10));
    }
    return text;
}

} // namespace ReadingProgress
