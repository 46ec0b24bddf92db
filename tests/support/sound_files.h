#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QtEndian>

// Seconds of sound in a PCM WAV file; -1 when it is not one.
inline double wavSeconds(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 44 || !bytes.startsWith("RIFF"))
        return -1;
    const quint32 byteRate = qFromLittleEndian<quint32>(bytes.constData() + 28);
    const qsizetype data = bytes.indexOf("data", 12);
    if (data < 0 || byteRate == 0)
        return -1;
    return double(qFromLittleEndian<quint32>(bytes.constData() + data + 4)) / byteRate;
}

// Seconds of sound in an MP3 file, as `lame --decode` turns it back into a WAV in `scratch`.
inline double mp3Seconds(const QString &path, const QString &scratch)
{
    const QString decoded = scratch + QStringLiteral("/decoded.wav");
    QFile::remove(decoded);
    QProcess lame;
    lame.start(QStringLiteral("lame"),
               {QStringLiteral("--quiet"), QStringLiteral("--decode"), path, decoded});
    if (!lame.waitForFinished(20000) || lame.exitCode() != 0)
        return -1;
    const double seconds = wavSeconds(decoded);
    QFile::remove(decoded);
    return seconds;
}
