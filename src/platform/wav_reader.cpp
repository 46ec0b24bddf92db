#include "platform/wav_reader.h"

#include "platform/audio_format.h"
#include "platform/bounded_file.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr quint16 FormatPcm = 1;
constexpr quint16 FormatExtensible = 0xFFFE;

quint16 u16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 u32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

// One sample of `bytesPerSample` bytes as a value scaled to 16 bits.
int sampleValue(const char *p, int bytesPerSample)
{
    const auto *b = reinterpret_cast<const unsigned char *>(p);
    switch (bytesPerSample) {
    case 1:
        return (int(b[0]) - 128) << 8; // 8-bit WAV samples are unsigned
    case 2:
        return qint16(u16(p));
    case 3:
        return qint16(quint16(b[1] | (b[2] << 8)));
    default:
        return qint16(quint16(b[2] | (b[3] << 8)));
    }
}

// Where the samples of a WAV file are and how they are laid out.
struct WavLayout
{
    int channels = 0;
    int rate = 0;
    int bits = 0;
    qsizetype dataStart = -1;
    qsizetype dataLength = 0;
};

// Reads the chunks of a WAV file's head. Nothing (and `problem` says why, in words that follow
// the file's name) when this reader cannot decode it.
std::optional<WavLayout> parseWav(const QByteArray &bytes, QString *problem)
{
    const auto fail = [problem](const QString &why) -> std::optional<WavLayout> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return fail(QStringLiteral("is not a WAV sound file"));
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();

    quint16 format = 0;
    bool haveFormat = false;
    WavLayout layout;

    qsizetype pos = 12;
    while (pos + 8 <= size) {
        const QByteArray id(data + pos, 4);
        const quint32 length = u32(data + pos + 4);
        const qsizetype body = pos + 8;
        if (id == "fmt ") {
            if (length < 16 || body + 16 > size)
                return fail(QStringLiteral("is a damaged WAV file (its format is cut short)"));
            format = u16(data + body);
            layout.channels = u16(data + body + 2);
            layout.rate = int(u32(data + body + 4));
            layout.bits = u16(data + body + 14);
            if (format == FormatExtensible && length >= 26 && body + 26 <= size)
                format = u16(data + body + 24); // the sub-format's first two bytes
            haveFormat = true;
        } else if (id == "data") {
            layout.dataStart = body;
            // A length past the end (a file cut short, or streamed with an unknown size) takes
            // what is there.
            layout.dataLength = std::min<qsizetype>(qsizetype(length), size - body);
            break;
        }
        // Chunks are padded to an even length.
        pos = body + qsizetype(length) + (length & 1);
    }
    if (!haveFormat)
        return fail(QStringLiteral("is a damaged WAV file (it says nothing of its format)"));
    if (layout.dataStart < 0)
        return fail(QStringLiteral("is a damaged WAV file (it holds no sound data)"));
    if (format != FormatPcm)
        return fail(QStringLiteral("holds compressed or floating-point sound, not plain PCM samples"));
    if (layout.channels < 1 || layout.channels > 16 || layout.rate < 1000 || layout.rate > 384000 ||
        layout.bits % 8 != 0 || layout.bits < 8 || layout.bits > 32)
        return fail(QStringLiteral("has a sound format that cannot be read (%1 channels, %2 Hz, %3-bit)")
                        .arg(layout.channels)
                        .arg(layout.rate)
                        .arg(layout.bits));
    return layout;
}

} // namespace

std::optional<QVector<qint16>> decodeWav(const QByteArray &bytes, int maxSeconds)
{
    const std::optional<WavLayout> layout = parseWav(bytes, nullptr);
    if (!layout)
        return std::nullopt;
    const char *data = bytes.constData();
    const int channels = layout->channels;
    const int rate = layout->rate;
    const int bits = layout->bits;
    const qsizetype dataStart = layout->dataStart;
    const qsizetype dataLength = layout->dataLength;

    const int bytesPerSample = bits / 8;
    const qsizetype frameBytes = qsizetype(bytesPerSample) * channels;
    qsizetype frames = dataLength / frameBytes;
    frames = std::min<qsizetype>(frames, qsizetype(rate) * std::max(0, maxSeconds));

    // Mix the channels down to one.
    std::vector<int> mono(static_cast<size_t>(frames));
    for (qsizetype f = 0; f < frames; ++f) {
        const char *frame = data + dataStart + f * frameBytes;
        int sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += sampleValue(frame + c * bytesPerSample, bytesPerSample);
        mono[size_t(f)] = sum / channels;
    }

    QVector<qint16> out;
    if (rate == AudioFormat::SampleRate) {
        out.reserve(frames);
        for (int v : mono)
            out.append(qint16(v));
        return out;
    }
    const qsizetype outFrames = frames * AudioFormat::SampleRate / rate;
    out.reserve(outFrames);
    const double step = double(rate) / AudioFormat::SampleRate;
    for (qsizetype i = 0; i < outFrames; ++i) {
        const double at = double(i) * step;
        const auto left = qsizetype(at);
        const double share = at - double(left);
        const int a = mono[size_t(left)];
        const int b = left + 1 < frames ? mono[size_t(left + 1)] : a;
        out.append(qint16(std::lround(a + (b - a) * share)));
    }
    return out;
}

std::optional<QVector<qint16>> readWavFile(const QString &fileName, int maxSeconds)
{
    // Only a regular file: opening a FIFO or device named as the bell would block the window.
    if (BoundedFile::probe(fileName) != BoundedFile::Outcome::Ok)
        return std::nullopt;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // A ceiling on what is read keeps memory bounded whatever the file claims.
    constexpr qint64 MaxBytes = qint64(256) * 1024 * 1024;
    return decodeWav(file.read(std::min(file.size(), MaxBytes)), maxSeconds);
}

QString wavFileProblem(const QString &fileName)
{
    switch (BoundedFile::probe(fileName)) {
    case BoundedFile::Outcome::Ok:
        break;
    case BoundedFile::Outcome::Missing:
        return QStringLiteral("does not exist");
    case BoundedFile::Outcome::Folder:
        return QStringLiteral("is a folder");
    case BoundedFile::Outcome::NotAFile:
        return QStringLiteral("is not a regular file");
    default:
        return QStringLiteral("cannot be read");
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot be read (%1)").arg(file.errorString());
    // The chunks before the samples are small; the head is enough to judge the whole file.
    constexpr qint64 HeadBytes = 1024 * 1024;
    QString problem;
    return parseWav(file.read(HeadBytes), &problem) ? QString() : problem;
}
