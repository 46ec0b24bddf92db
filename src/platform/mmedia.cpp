#include "platform/mmedia.h"

#include "platform/clock.h"
#include "platform/mci.h"

#include <QRegularExpression>

#include <charconv>

namespace {
// The status answer buffer holds 255 bytes, its last for the terminating NUL.
constexpr int AnswerCapacity = 254;

QString deviceTypeOf(const QString &extension)
{
    if (extension == QLatin1String("WAV"))
        return QStringLiteral("Waveaudio");
    if (extension == QLatin1String("AVI"))
        return QStringLiteral("AviVideo");
    if (extension == QLatin1String("MID"))
        return QStringLiteral("Sequencer");
    return QString();
}
} // namespace

Mmedia::Mmedia() : Mmedia(Sender(&mciSendString)) {}

Mmedia::Mmedia(Sender sender) : m_send(std::move(sender)) {}

Mmedia &Mmedia::shared()
{
    static Mmedia instance;
    return instance;
}

void Mmedia::setSender(Sender sender)
{
    m_send = sender ? std::move(sender) : Sender(&mciSendString);
}

void Mmedia::send(const QString &command)
{
    QString ignored;
    m_send(command, &ignored);
}

void Mmedia::mmOpen(const QString &sTheFile)
{
    if (!sAlias.isEmpty())
        mmClose();
    const QString lastThree = sTheFile.right(3);
    const QString type = deviceTypeOf(lastThree.toUpper());
    if (type.isEmpty())
        return;
    // The alias is the minute of the hour and the file's last three characters ("7wav").
    sAlias = QString::number(Clock::instance().now().time().minute()) + lastThree;
    sFilename = sTheFile;
    QString name = sTheFile;
    if (name.contains(QLatin1Char(' ')))
        name = QLatin1Char('"') + name + QLatin1Char('"');
    send(QStringLiteral("Open ") + name + QStringLiteral(" ALIAS ") + sAlias + QStringLiteral(" TYPE ") +
         type + QStringLiteral(" wait"));
}

void Mmedia::mmClose()
{
    if (sAlias.isEmpty())
        return;
    send(QStringLiteral("Close ") + sAlias);
    sAlias.clear();
    sFilename.clear();
}

void Mmedia::mmPause()
{
    if (!sAlias.isEmpty())
        send(QStringLiteral("Pause ") + sAlias);
}

void Mmedia::mmPlay()
{
    if (sAlias.isEmpty())
        return;
    send(QStringLiteral("Play ") + sAlias + (bWait ? QStringLiteral(" wait") : QString()));
}

void Mmedia::mmStop()
{
    if (!sAlias.isEmpty())
        send(QStringLiteral("Stop ") + sAlias);
}

void Mmedia::mmSeek(float nPosition)
{
    if (!sAlias.isEmpty())
        send(QStringLiteral("Seek ") + sAlias + QStringLiteral(" to ") + shortestNumberText(nPosition));
}

QString Mmedia::query(const QString &item)
{
    QString answer;
    m_send(QStringLiteral("Status ") + sAlias + QLatin1Char(' ') + item, &answer);
    const qsizetype nul = answer.indexOf(QChar(0));
    if (nul >= 0)
        answer.truncate(nul);
    answer.truncate(AnswerCapacity);
    return answer;
}

float Mmedia::Length()
{
    return sAlias.isEmpty() ? 0.0f : leadingNumber(query(QStringLiteral("length")));
}

float Mmedia::Position()
{
    return sAlias.isEmpty() ? 0.0f : leadingNumber(query(QStringLiteral("position")));
}

QString Mmedia::Status()
{
    return sAlias.isEmpty() ? QString() : query(QStringLiteral("mode"));
}

QString shortestNumberText(float value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

float leadingNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^\\s*[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?"));
    const auto match = number.match(text);
    return match.hasMatch() ? match.captured(0).trimmed().toFloat() : 0.0f;
}
