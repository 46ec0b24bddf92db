#pragma once

#include <QByteArray>
#include <QtGlobal>

struct soxr;

// Brings 16-bit mono PCM from a voice's own rate to another rate with libsoxr's band-limited
// filter, which keeps the images of the voice's band (a hiss above it) out of the output. It is
// one stream: pieces fed one after the other come out exactly as if the whole had been
// converted at once, so the joins between sentences are seamless. The filter holds back a
// little of the latest input; finish() gives out the rest, after which the output is as long
// as the input at the new rate, rounded.
//
// Output samples are counted from the start of the stream, and the filter's delay is taken out:
// output sample n is the sound of the input at time n / toRate. A piece at another rate than
// the last (a voice change in the middle of a text) first finishes the audio of the old rate.
class StreamResampler
{
public:
    explicit StreamResampler(int toRate);
    ~StreamResampler();
    StreamResampler(const StreamResampler &) = delete;
    StreamResampler &operator=(const StreamResampler &) = delete;

    // Feeds the next piece, taken at `fromRate`, and returns the audio ready so far.
    QByteArray process(const short *samples, qsizetype count, int fromRate);
    // The audio the filter still holds; the stream may then go on with a new piece.
    QByteArray finish();

    // Output samples given out so far.
    qint64 produced() const { return m_produced; }
    // The output sample at which the point `seconds` into the last piece fed plays.
    qint64 outputPosition(double seconds) const;

private:
    void startRun(int fromRate);
    QByteArray drain(const short *samples, qsizetype count);

    const int m_toRate;
    soxr *m_soxr = nullptr;
    int m_fromRate = 0;      // rate of the current run; 0 before the first piece
    bool m_runOpen = false;  // the current run takes more input
    qint64 m_runOrigin = 0;  // output sample where the current run began
    qint64 m_runInput = 0;   // input samples fed to the current run
    qint64 m_pieceInput = 0; // input samples of the current run before the last piece
    qint64 m_produced = 0;
};
