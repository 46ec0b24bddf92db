#pragma once

#include "speech/synth_engine.h"

// eSpeak NG (generation 4). The library allows one synthesis at a time per process, so its
// worker thread is the only caller. Rate is in words per minute (80..450), pitch 0..100.
class EspeakEngine final : public SynthEngine
{
public:
    EspeakEngine();
    ~EspeakEngine() override;

    static constexpr int MinRate = 80;
    static constexpr int MaxRate = 450;
    static constexpr int DefaultRate = 175;

private:
    bool initialize(QList<EngineVoice> &voices) override;
    void synthesizeChunk(SynthJob &job, const VoiceParams &params, const QString &text, int start, int end,
                         PcmChunk &out) override;
    bool selectVoice(const QString &id);

    bool m_listFromCache = false; // set before the worker starts
    QByteArray m_dataFolder;      // the library's, once it has started
    QString m_loadedVoice;
    int m_loadedRate = -1;
    int m_loadedPitch = -1;
};
