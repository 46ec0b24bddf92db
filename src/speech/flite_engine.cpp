#include "speech/flite_engine.h"

#include "platform/audio_format.h"
#include "speech/flite_library.h"
#include "speech/resample.h"
#include "speech/voice_list_cache.h"

#include <QFile>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

struct FliteVoiceInfo
{
    const char *id;
    const char *description;
};

constexpr FliteVoiceInfo FliteVoices[] = {
    {"slt", "Flite slt (US English, female)"},
    {"kal16", "Flite kal16 (US English, male)"},
    {"awb", "Flite awb (Scottish English, male)"},
    {"rms", "Flite rms (US English, male)"},
    {"kal", "Flite kal (US English, male, telephone quality)"},
};

// The characters Flite's English tokenizer takes as punctuation around a word.
constexpr char FlitePunctuation[] = "\"'`.,:;!?(){}[]";

char asciiFor(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return (u < 0x20 && u != '\t' && u != '\n' && u != '\r') ? ' ' : char(u);
    switch (u) {
    case 0x2018:
    case 0x2019:
    case 0x201A:
    case 0x2032:
        return '\'';
    case 0x201C:
    case 0x201D:
    case 0x201E:
    case 0x2033:
    case 0x00AB:
    case 0x00BB:
        return '"';
    case 0x2010:
    case 0x2011:
    case 0x2012:
    case 0x2013:
    case 0x2014:
    case 0x2212:
        return '-';
    case 0x00A0:
    case 0x2007:
    case 0x202F:
        return ' ';
    case 0x2026:
        return '.';
    default:
        break;
    }
    // Latin letters with marks read as their base letter (é -> e).
    const QString decomposed = c.decomposition();
    if (!decomposed.isEmpty() && decomposed.at(0).unicode() < 0x80 && decomposed.at(0).isLetter())
        return char(decomposed.at(0).unicode());
    return ' ';
}

// One synthesis stream: a single resampler carried from sentence to sentence.
struct FliteStream final : SynthJob::EngineState
{
    StreamResampler resampler{AudioFormat::SampleRate};
};

bool onlyBlanksFrom(const QString &text, int from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (!text.at(i).isSpace())
            return false;
    }
    return true;
}

const QString CacheName = QStringLiteral("flite-voices");

// The library is found along the library search path.
QByteArray cacheSettings()
{
    return "LD_LIBRARY_PATH=" + qgetenv("LD_LIBRARY_PATH") + '\n';
}

} // namespace

FliteEngine::FliteEngine()
{
    // While the library is the one that listed the voices last time, it is loaded by the first job.
    if (std::optional<QList<EngineVoice>> voices = VoiceListCache::read(CacheName, cacheSettings())) {
        m_listFromCache = true;
        startOnFirstJob(std::move(*voices));
    } else {
        startWorker();
    }
}

FliteEngine::~FliteEngine()
{
    stopWorker();
}

QByteArray FliteEngine::asciiStandIn(QStringView text)
{
    // libflite's tokenizer overflows a buffer on a few hundred punctuation marks in a row:
    // past a short run the marks become blanks, which Flite reads the same way.
    QByteArray out(text.size(), Qt::Uninitialized);
    int run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = asciiFor(text.at(i));
        const bool punctuation = c != '\0' && std::strchr(FlitePunctuation, c);
        run = punctuation ? qMin(run + 1, MaxPunctuationRun + 1) : 0;
        out[i] = run > MaxPunctuationRun ? ' ' : c;
    }
    return out;
}

bool FliteEngine::initialize(QList<EngineVoice> &voices)
{
    const FliteLibrary *flite = FliteLibrary::get();
    if (!flite)
        return false;
    flite->init();
    for (const auto &info : FliteVoices)
        voices.append(
            {QString::fromLatin1(info.id), QString::fromUtf8(info.description), QStringLiteral("en-us")});
    if (!m_listFromCache)
        VoiceListCache::write(CacheName, cacheSettings(),
                              {{QFile::decodeName(FliteLibrary::fileName())}, voices});
    return true;
}

cst_voice *FliteEngine::voice(const QString &id)
{
    auto found = m_voices.find(id);
    if (found != m_voices.end())
        return found->second;
    for (const auto &info : FliteVoices) {
        if (id != QLatin1String(info.id))
            continue;
        cst_voice *v = FliteLibrary::registerVoice(info.id);
        if (!v)
            return nullptr;
        m_voices[id] = v;
        m_defaultStretch[id] = FliteLibrary::get()->getParamFloat(v->features, "duration_stretch", 1.0f);
        return v;
    }
    return nullptr;
}

void FliteEngine::synthesizeChunk(SynthJob &job, const VoiceParams &params, const QString &text, int start,
                                  int end, PcmChunk &out)
{
    auto *stream = dynamic_cast<FliteStream *>(job.engineState());
    if (!stream) {
        auto made = std::make_unique<FliteStream>();
        stream = made.get();
        job.setEngineState(std::move(made));
    }
    synthesizePiece(job, params, text, start, end, stream->resampler, out);
    // The last piece that is spoken also takes what the filter still holds, so the stream ends
    // exactly where its audio does and every word mark lies inside it. The text given here is
    // one part of the job's text, as the engines are to say it; nothing but blanks may follow
    // in this part or in what the job has left.
    if (onlyBlanksFrom(text, end) && onlyBlanksFrom(job.text(), job.spokenPart().originalEnd)) {
        out.pcm.append(stream->resampler.finish());
        const qint64 length = out.pcm.size() / AudioFormat::BytesPerSample;
        for (WordMark &word : out.words)
            word.sample = qMin(word.sample, length);
    }
}

void FliteEngine::synthesizePiece(SynthJob &job, const VoiceParams &params, const QString &text, int start,
                                  int end, StreamResampler &resampler, PcmChunk &out)
{
    cst_voice *v = voice(params.voice);
    if (!v)
        return;
    const FliteLibrary &flite = *FliteLibrary::get();
    const float stretch =
        m_defaultStretch[params.voice] * float(std::pow(3.0, -qBound(-10, params.rate, 10) / 10.0));
    flite.featSetFloat(v->features, "duration_stretch", stretch);

    const QStringView piece = QStringView(text).mid(start, end - start);
    const QByteArray ascii = asciiStandIn(piece);
    cst_utterance *utt = flite.synthText(ascii.constData(), v);
    if (!utt)
        return;
    cst_wave *wave = flite.uttWave(utt);
    const int fromRate = wave ? wave->sample_rate : 0;
    // Words are placed from where this piece's audio begins in the stream. The filter holds back
    // the last few milliseconds of each piece, so a word may fall just past the audio given out
    // now, in what the next piece brings.
    const qint64 pieceStart = resampler.produced();
    if (fromRate > 0 && !job.isCancelled())
        out.pcm = resampler.process(wave->samples, qMax(wave->num_samples, 0), fromRate);

    // Rebuild each token's place in the text from the spacing and punctuation Flite kept.
    int pos = 0;
    for (cst_item *token = flite.relationHead(flite.uttRelation(utt, "Token")); token && fromRate > 0;
         token = flite.itemNext(token)) {
        const char *whitespace = flite.itemFeatString(token, "whitespace");
        const char *prepunctuation = flite.itemFeatString(token, "prepunctuation");
        const char *name = flite.itemFeatString(token, "name");
        const char *punc = flite.itemFeatString(token, "punc");
        pos += int(std::strlen(whitespace)) + int(std::strlen(prepunctuation));
        const int length = int(std::strlen(name));
        if (length > 0 && ascii.mid(pos, length) != QByteArray(name)) {
            const int found = int(ascii.indexOf(name, pos));
            if (found >= 0)
                pos = found;
        }
        const int wordStart = pos;
        pos += length + int(std::strlen(punc));
        cst_item *firstWord = flite.itemDaughter(token);
        if (!firstWord || length == 0)
            continue;
        // The word is heard from the end of the segment before its first segment.
        float seconds = 0.0f;
        cst_item *syllableWord = flite.itemAs(firstWord, "SylStructure");
        if (syllableWord && flite.itemDaughter(syllableWord) &&
            flite.itemDaughter(flite.itemDaughter(syllableWord)))
            seconds = flite.ffeatureFloat(firstWord, "R:SylStructure.daughter1.daughter1.R:Segment.p.end");
        const qint64 sample = resampler.outputPosition(seconds) - pieceStart;
        out.words.append({sample, start + wordStart, length});
    }
    flite.deleteUtterance(utt);
}
