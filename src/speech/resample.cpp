#include "speech/resample.h"

#include <algorithm>
#include <cmath>

QByteArray resamplePcm16(const short *samples, int count, int fromRate, int toRate)
{
    if (count <= 0 || fromRate <= 0 || toRate <= 0)
        return {};
    if (fromRate == toRate)
        return QByteArray(reinterpret_cast<const char *>(samples), qsizetype(count) * 2);
    const qint64 outCount = qint64(count) * toRate / fromRate;
    QByteArray out(qsizetype(outCount) * 2, Qt::Uninitialized);
    auto *dst = reinterpret_cast<short *>(out.data());
    auto at = [&](qint64 i) { return double(samples[std::clamp<qint64>(i, 0, count - 1)]); };
    const double step = double(fromRate) / double(toRate);
    for (qint64 n = 0; n < outCount; ++n) {
        const double pos = double(n) * step;
        const qint64 i = qint64(pos);
        const double t = pos - double(i);
        const double p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
        const double v =
            p1 +
            0.5 * t * (p2 - p0 + t * (2.0 * p0 - 5.0 * p1 + 4.0 * p2 - p3 + t * (3.0 * (p1 - p2) + p3 - p0)));
        dst[n] = short(std::clamp(std::lround(v), -32768L, 32767L));
    }
    return out;
}
