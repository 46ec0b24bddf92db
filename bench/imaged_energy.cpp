// Prints how far the energy above a frequency lies under the energy below it, in dB, for a
// 16-bit mono PCM WAV file: `imaged_energy FILE.wav EDGE_HZ`. Used on voices resampled from a
// lower rate, where everything above the voice's own band is an image the resampler left.
#include "support/band_energy.h"

#include <QFile>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: imaged_energy FILE.wav EDGE_HZ\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "imaged_energy: cannot open %s\n", argv[1]);
        return 1;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 44 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") {
        std::fprintf(stderr, "imaged_energy: %s is not a WAV file\n", argv[1]);
        return 1;
    }
    // Walk the chunks to "fmt " and "data".
    int rate = 0, channels = 0, bits = 0;
    qsizetype at = 12;
    QByteArray data;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const qsizetype size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt " && size >= 16 && body + 16 <= bytes.size()) {
            channels = qFromLittleEndian<quint16>(bytes.constData() + body + 2);
            rate = int(qFromLittleEndian<quint32>(bytes.constData() + body + 4));
            bits = qFromLittleEndian<quint16>(bytes.constData() + body + 14);
        } else if (id == "data") {
            data = bytes.mid(body, qMin(size, bytes.size() - body));
            break;
        }
        at = body + size + (size & 1);
    }
    if (rate <= 0 || channels != 1 || bits != 16 || data.isEmpty()) {
        std::fprintf(stderr, "imaged_energy: %s is not 16-bit mono PCM\n", argv[1]);
        return 1;
    }
    std::vector<double> samples(size_t(data.size() / 2));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = qFromLittleEndian<qint16>(data.constData() + 2 * i);
    const BandEnergy energy = bandEnergy(samples, rate, std::atof(argv[2]));
    std::printf("%.1f\n", energy.aboveDb());
    return 0;
}
