#pragma once

#include "speech/synth_engine.h"

#include <map>

struct cst_voice_struct;
class StreamResampler;

// Flite (generation 5) with the CMU voices Debian ships. Flite reads bytes of English, so
// the text handed to it is an ASCII stand-in of the same length: offsets found in Flite's
// tokens are offsets into the original. Rate -10..10 scales duration by 3^(-rate/10). The
// voices' own 8 and 16 kHz audio is resampled to the common rate as one stream per job.
class FliteEngine final : public SynthEngine
{
public:
    FliteEngine();
    ~FliteEngine() override;

    // The ASCII stand-in Flite is given for a piece of text: one byte per UTF-16 unit, no
    // control characters, and no more than MaxPunctuationRun punctuation marks in a row.
    static QByteArray asciiStandIn(QStringView text);
    static constexpr int MaxPunctuationRun = 4;

private:
    bool initialize(QList<EngineVoice> &voices) override;
    void synthesizeChunk(SynthJob &job, const VoiceParams &params, const QString &text, int start, int end,
                         PcmChunk &out) override;
    void synthesizePiece(SynthJob &job, const VoiceParams &params, const QString &text, int start, int end,
                         StreamResampler &resampler, PcmChunk &out);
    cst_voice_struct *voice(const QString &id);

    bool m_listFromCache = false; // set before the worker starts
    std::map<QString, cst_voice_struct *> m_voices;
    std::map<QString, float> m_defaultStretch;
};
