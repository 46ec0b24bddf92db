#include "speech/espeak_engine.h"

#include "platform/audio_format.h"
#include "speech/espeak_library.h"
#include "speech/voice_list_cache.h"
#include "speech/word_tokens.h"

#include <QFile>
#include <QFileInfo>

#include <espeak-ng/speak_lib.h>

#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr qsizetype StreamedBytes = 16 * 1024;

struct SynthContext
{
    SynthJob *job = nullptr;
    PcmChunk *out = nullptr;
    WordEventFilter *filter = nullptr;
    const std::vector<int> *codePointToUtf16 = nullptr;
    int base = 0; // position of the piece within the whole text
    // The first piece of a job hands its audio on as the library makes it, so that the first
    // sound does not wait for the whole sentence; `handed` counts the samples given so far.
    bool streaming = false;
    qint64 handed = 0;
};

int synthCallback(short *wav, int samples, espeak_EVENT *events)
{
    SynthContext *ctx = nullptr;
    for (espeak_EVENT *e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        ctx = static_cast<SynthContext *>(e->user_data);
        if (!ctx)
            continue;
        if (e->type != espeakEVENT_WORD)
            continue;
        // text_position counts code points of the UTF-8 input from 1.
        const int cp = e->text_position - 1;
        const auto &map = *ctx->codePointToUtf16;
        if (cp < 0 || cp >= int(map.size()))
            continue;
        const int index = ctx->filter->accept(map[size_t(cp)]);
        if (index < 0)
            continue;
        const WordToken &token = ctx->filter->token(index);
        ctx->out->words.append(
            {AudioFormat::msToSamples(e->audio_position), ctx->base + token.start, token.length});
    }
    if (!ctx && events)
        ctx = static_cast<SynthContext *>(events->user_data);
    if (!ctx)
        return 0;
    if (wav && samples > 0) {
        ctx->out->pcm.append(reinterpret_cast<const char *>(wav),
                             qsizetype(samples) * AudioFormat::BytesPerSample);
        // The first sound is handed on as soon as the library gives it; then pieces no smaller
        // than a file's write buffer, so that each goes to the file at once and a failing write
        // is seen, with its reason, when it is made.
        if (ctx->streaming && (ctx->handed == 0 || ctx->out->pcm.size() >= StreamedBytes)) {
            ctx->handed += ctx->out->pcm.size() / AudioFormat::BytesPerSample;
            ctx->job->push({std::exchange(ctx->out->pcm, QByteArray()), {}});
        }
    }
    return ctx->job->isCancelled() ? 1 : 0;
}

const QString CacheName = QStringLiteral("espeak-ng-voices");

// What chooses the library and the data folder besides their content: the library search path,
// the data folder named in the environment and the one in the home folder, which eSpeak NG
// prefers to its own.
QByteArray cacheSettings()
{
    const QByteArray named = qgetenv("ESPEAK_DATA_PATH");
    const QByteArray home = qgetenv("HOME");
    const auto here = [](const QByteArray &path) {
        return QFileInfo::exists(QFile::decodeName(path)) ? '1' : '0';
    };
    return "LD_LIBRARY_PATH=" + qgetenv("LD_LIBRARY_PATH") + "\nESPEAK_DATA_PATH=" + named + '\n' +
           here(named + "/espeak-ng-data") + here(named + "/phontab") + "\nHOME=" + home + '\n' +
           here(home + "/espeak-ng-data") + '\n';
}

} // namespace

EspeakEngine::EspeakEngine()
{
    // The list the engine gave last time, while nothing it was read from has changed: the
    // library and its data are then loaded by the first job, not at start.
    if (std::optional<QList<EngineVoice>> voices = VoiceListCache::read(CacheName, cacheSettings())) {
        m_listFromCache = true;
        startOnFirstJob(std::move(*voices));
        // A library the program has loaded already is taken over at once, while the list is used.
        if (EspeakLibrary::loadedByProgram())
            startWorker();
    } else {
        startWorker();
    }
}

EspeakEngine::~EspeakEngine()
{
    stopWorker();
}

bool EspeakEngine::initialize(QList<EngineVoice> &voices)
{
    const EspeakLibrary *espeak = EspeakLibrary::get();
    if (!espeak)
        return false;
    if (espeak->start() <= 0)
        return false;
    espeak->setSynthCallback(synthCallback);
    const char *dataFolder = nullptr;
    espeak->info(&dataFolder);
    m_dataFolder = dataFolder ? QByteArray(dataFolder) : QByteArray();
    // The list shown stays as it was kept: listing again would only delay the first job.
    if (m_listFromCache)
        return true;
    const espeak_VOICE **list = espeak->listVoices(nullptr);
    for (int i = 0; list && list[i]; ++i) {
        const espeak_VOICE *v = list[i];
        // languages: a priority byte, then a NUL-terminated name, repeated.
        const QString language =
            v->languages && v->languages[0] ? QString::fromUtf8(v->languages + 1) : QString();
        // Some voice files carry blanks around the name ("Cherokee "); the list shows it without.
        voices.append({QString::fromUtf8(v->identifier), QString::fromUtf8(v->name).trimmed(), language});
    }
    // The library lists the voice files of the data folder's "voices" and "lang" folders: the
    // list is kept while they, and the library, stay as they are.
    const char *library = EspeakLibrary::fileName();
    if (!voices.isEmpty() && !m_dataFolder.isEmpty() && *library)
        VoiceListCache::write(CacheName, cacheSettings(),
                              {{QFile::decodeName(library), QFile::decodeName(m_dataFolder + "/voices"),
                                QFile::decodeName(m_dataFolder + "/lang")},
                               voices});
    return !voices.isEmpty();
}

// eSpeak NG looks a voice up by its name in lower case, and when no file has that name
// (gmw/en-US) it reads every voice file to find it: some 5 ms before each first sound. The
// voice's file, opened here and named by its descriptor (/proc/self/fd/N, all lower case),
// loads at once; where that cannot be, the library looks the name up itself.
bool EspeakEngine::selectVoice(const QString &id)
{
    const EspeakLibrary &espeak = *EspeakLibrary::get();
    const QByteArray name = id.toUtf8();
    if (!m_dataFolder.isEmpty() && name != name.toLower() && !name.contains("..") && !name.startsWith('/')) {
        // Where the library itself looks first.
        for (const char *folder : {"/voices/", "/lang/"}) {
            const int file =
                ::open((m_dataFolder + folder + name).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (file < 0)
                continue;
            struct stat info = {};
            const bool loaded =
                ::fstat(file, &info) == 0 && S_ISREG(info.st_mode) &&
                espeak.setVoiceByFile(("/proc/self/fd/" + QByteArray::number(file)).constData()) == EE_OK;
            ::close(file);
            if (loaded)
                return true;
            break;
        }
    }
    return espeak.setVoiceByName(name.constData()) == EE_OK;
}

void EspeakEngine::synthesizeChunk(SynthJob &job, const VoiceParams &params, const QString &text, int start,
                                   int end, PcmChunk &out)
{
    // The worker only serves jobs once the library has loaded.
    const EspeakLibrary &espeak = *EspeakLibrary::get();
    if (params.voice != m_loadedVoice) {
        if (!selectVoice(params.voice))
            return;
        m_loadedVoice = params.voice;
        m_loadedRate = m_loadedPitch = -1; // a voice change resets the parameters
    }
    const int rate = qBound(MinRate, params.rate, MaxRate);
    if (rate != m_loadedRate) {
        espeak.setParameter(espeakRATE, rate, 0);
        m_loadedRate = rate;
    }
    const int pitch = qBound(0, params.pitch, 100);
    if (pitch != m_loadedPitch) {
        espeak.setParameter(espeakPITCH, pitch, 0);
        m_loadedPitch = pitch;
    }

    const QString piece = text.mid(start, end - start);
    std::vector<int> codePointToUtf16;
    codePointToUtf16.reserve(size_t(piece.size()));
    for (int i = 0; i < piece.size(); ++i) {
        if (piece.at(i).isLowSurrogate() && i > 0 && piece.at(i - 1).isHighSurrogate())
            continue;
        codePointToUtf16.push_back(i);
    }
    WordEventFilter filter(piece);
    SynthContext ctx{&job, &out, &filter, &codePointToUtf16, start};
    ctx.streaming = start == 0 && job.spokenPart().originalStart == 0;
    const QByteArray utf8 = piece.toUtf8();
    unsigned int uid = 0;
    QChar last;
    for (int i = int(piece.size()) - 1; i >= 0 && last.isNull(); --i)
        if (!piece.at(i).isSpace())
            last = piece.at(i);
    const bool sentenceEnd = last == u'.' || last == u'!' || last == u'?';
    espeak.synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                 espeakCHARS_UTF8 | (sentenceEnd ? espeakENDPAUSE : 0), &uid, &ctx);
    // Word marks count from the start of the audio that comes with them, after what was handed.
    for (WordMark &word : out.words)
        word.sample -= ctx.handed;
}
