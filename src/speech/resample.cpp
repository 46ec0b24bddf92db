#include "speech/resample.h"

#include <soxr.h>

#include <cmath>

StreamResampler::StreamResampler(int toRate) : m_toRate(toRate) {}

StreamResampler::~StreamResampler()
{
    soxr_delete(m_soxr);
}

void StreamResampler::startRun(int fromRate)
{
    m_fromRate = fromRate;
    m_runOrigin = m_produced;
    m_runInput = 0;
    m_pieceInput = 0;
    m_runOpen = true;
    if (fromRate == m_toRate)
        return;
    // 16-bit precision is all a 16-bit output can hold; the filter's stop band begins at the
    // input's Nyquist frequency, so nothing of the images above the voice's band is left.
    // Without dither the same input always gives the same output.
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_MQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    m_soxr = soxr_create(fromRate, m_toRate, 1, &error, &io, &quality, &runtime);
    if (error) {
        soxr_delete(m_soxr);
        m_soxr = nullptr; // finish() makes up the length with silence
    }
}

QByteArray StreamResampler::drain(const short *samples, qsizetype count)
{
    // A null input tells the filter that the input has ended: it then gives out what it holds.
    QByteArray out;
    size_t consumed = 0;
    const double ratio = double(m_toRate) / double(m_fromRate);
    for (;;) {
        const size_t room = size_t(double(size_t(count) - consumed) * ratio) + 4096;
        const qsizetype at = out.size();
        out.resize(at + qsizetype(room) * 2);
        size_t taken = 0, given = 0;
        const soxr_error_t error =
            soxr_process(m_soxr, samples ? samples + consumed : nullptr, size_t(count) - consumed, &taken,
                         out.data() + at, room, &given);
        out.resize(at + qsizetype(given) * 2);
        consumed += taken;
        m_produced += qint64(given);
        if (error || (consumed >= size_t(count) && given < room))
            break;
    }
    return out;
}

QByteArray StreamResampler::process(const short *samples, qsizetype count, int fromRate)
{
    if (fromRate <= 0 || m_toRate <= 0)
        return {};
    QByteArray out;
    if (fromRate != m_fromRate || !m_runOpen) {
        out = finish();
        startRun(fromRate);
    }
    m_pieceInput = m_runInput;
    m_runInput += count;
    if (count <= 0)
        return out;
    if (fromRate == m_toRate) {
        out.append(reinterpret_cast<const char *>(samples), count * 2);
        m_produced += count;
    } else if (m_soxr) {
        out.append(drain(samples, count));
    }
    return out;
}

QByteArray StreamResampler::finish()
{
    if (!m_runOpen)
        return {};
    m_runOpen = false;
    QByteArray out;
    if (m_soxr)
        out = drain(nullptr, 0);
    soxr_delete(m_soxr);
    m_soxr = nullptr;
    // The run ends exactly where its input ends at the new rate, whatever the filter gave.
    const qint64 length = std::llround(double(m_runInput) * m_toRate / m_fromRate);
    const qint64 missing = m_runOrigin + length - m_produced;
    if (missing > 0) {
        out.append(QByteArray(missing * 2, '\0'));
        m_produced += missing;
    }
    return out;
}

qint64 StreamResampler::outputPosition(double seconds) const
{
    if (m_fromRate <= 0)
        return m_produced + std::llround(seconds * m_toRate);
    return m_runOrigin + std::llround(double(m_pieceInput) * m_toRate / m_fromRate + seconds * m_toRate);
}
