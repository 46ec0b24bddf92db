#include "cli/cli_commands.h"

#include "cli/cli_arguments.h"
#include "cli/cli_convert.h"
#include "cli/cli_pronunciation.h"
#include "cli/cli_send.h"
#include "cli/convert_output.h"

#include "desktop/ttsaboutForm.h"
#include "platform/bounded_file.h"
#include "platform/part_file.h"
#include "platform/termination_signals.h"
#include "platform/wav_stream_writer.h"
#include "platform/wav_writer.h"
#include "speech/directss.h"
#include "speech/document_reader.h"
#include "speech/rate_pitch.h"
#include "speech/spvoice.h"
#include "speech/synth_engine.h"
#include "speech/voice_catalog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

QTextStream &out()
{
    return cliOut();
}

QTextStream &err()
{
    return cliErr();
}

const char *const MainHelp = R"HELP(Usage: parlanto-cli COMMAND [OPTIONS]

Parlanto's speech engines without a window.

Commands:
  voices    List every voice, as the main window's voice list shows it.
  speak     Speak a text on the sound device, or write it to a WAV file.
  text      Print the plain text of a document file, as the main window opens it.
  send      Hand a command (read, toggle, stop, file, voice) to the running window.
  convert   Convert documents to WAV or MP3 files, with subtitles if asked.

An option takes its value as '--rate 60' or '--rate=60'; '--' ends the options, and '-'
stands for standard input (or, after --wav, standard output).

Run 'parlanto-cli COMMAND --help' for the options of a command, and
'parlanto-cli --version' for the version.
)HELP";

const char *const VoicesHelp = R"HELP(Usage: parlanto-cli voices

Prints one line per voice: eSpeak NG voices first as "<name> (TTS4.0)", then Flite
voices as "<description> (TTS5.0)". Any line can be given to 'speak --voice', and so can
any part of one that only that line contains ("slt", "english (america)") or a language
code ("en-us": the first voice of that language).
)HELP";

const char *const SpeakHelp = R"HELP(Usage: parlanto-cli speak [OPTIONS] [TEXT | -]

Speaks TEXT (or standard input, with '-' or no TEXT, or the text of a document with
--file) with the chosen voice. '--' ends the options: 'speak -- -x' speaks "-x".

Options:
  --voice TEXT   a line of 'parlanto-cli voices', a part of one that no other line has,
                 or a language code (default: the first voice of the locale's language,
                 else the first US English voice)
  --rate N       rate 0..100, as the main window's rate bar (default: the voice's own)
  --pitch N      pitch 0..100 (eSpeak NG voices only; default 50)
  --volume N     volume 0..100 (default 100)
  --file FILE    speak the text of a document file, read as 'parlanto-cli text' reads it
                 ('-': a document on standard input)
  --wav FILE     write a 22050 Hz 16-bit mono WAV file instead of speaking aloud
                 ('-': a WAV stream on standard output, for a pipe or a file)
  --words        print each word as it is spoken: offset, length and the word
                 (offsets count UTF-16 characters from 0)
  --dict FILE    pronunciation rules to use besides the program's own pronunciation.txt
                 (may be given more than once; later rules win)
)HELP";

const char *const TextHelp = R"HELP(Usage: parlanto-cli text [--chapters] FILE | -

Prints the plain text the main window's Open button would put into the document, as
UTF-8: plain text decoded from the encoding it was written in (any common one), rich
text (.rtf) without its formatting, PDF (running headers, footers and page numbers
left out), EPUB, OpenDocument (.odt), Word (.docx), web pages (.html, .htm, .xhtml)
and Markdown (.md) as paragraphs separated by blank lines. Line ends are "\n".
Nothing is added, not even a final line end. '-' reads the document from standard
input, known by its content.

Options:
  --chapters     print the document's title, author and chapters instead: lines of
                 "title", "author" or "chapter", a tab, and the value; a chapter's value
                 is its offset in the text (UTF-16 characters from 0), a tab, its level
                 (1 for a chapter, 2 for a section), a tab and its title
)HELP";

int usage(const QString &reason)
{
    err() << "parlanto-cli: " << reason << "\n";
    err().flush();
    return ExitUsage;
}

int listVoices(const QStringList &args)
{
    CliArguments reader(QStringLiteral("voices"), args);
    while (reader.next()) {
        const QString &a = reader.current();
        if (reader.isOperand())
            return usage(QStringLiteral("voices takes no arguments: %1").arg(a));
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out() << VoicesHelp;
            return ExitOk;
        }
        return usage(reader.unknown());
    }
    if (!reader.problem().isEmpty())
        return usage(reader.problem());
    const auto entries = cliVoiceList();
    if (entries.isEmpty()) {
        err() << "parlanto-cli: no speech engine could be loaded\n";
        return ExitFailure;
    }
    for (const auto &entry : entries)
        out() << entry.text << "\n";
    return ExitOk;
}

std::optional<int> percent(const QString &value)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < 0 || n > 100)
        return std::nullopt;
    return n;
}

// A document file, or with "-" a document on standard input, known by its content.
DocumentText readDocument(const QString &path)
{
    if (path != QLatin1String("-"))
        return readDocumentFile(path);
    const BoundedFile::Result in = BoundedFile::readStandardInput(largestDocumentBytes);
    if (!in.ok())
        return DocumentText{false, {}, in.error, {}, {}, {}};
    return readDocumentBytes(in.bytes, QString());
}

class WordPrinter
{
public:
    explicit WordPrinter(const QString &text) : m_text(text) {}
    void print(int position, int length)
    {
        out() << position << ' ' << length << ' ' << m_text.mid(position, length) << "\n";
        out().flush();
    }

private:
    const QString &m_text;
};

// Where speak --wav writes: the file itself (links followed) and the part file it is made in.
struct SpeakTarget
{
    QString file, part;
};

SpeakTarget speakTargetFor(const QString &wavFile)
{
    if (wavFile.isEmpty() || wavFile == QLatin1String("-"))
        return {};
    const QString file = ConvertOutputs::resolved(wavFile);
    const QFileInfo info(file);
    if (info.exists() && !info.isFile())
        return {wavFile, wavFile};
    return {file, PartFile::pathFor(file)};
}

int speak(const QStringList &args)
{
    QString voiceText, wavFile, text;
    QStringList dicts;
    bool words = false, haveText = false, fromDocument = false;
    std::optional<int> rate, pitch, volume;
    CliArguments reader(QStringLiteral("speak"), args);
    while (reader.next()) {
        const QString &a = reader.current();
        if (reader.isOperand()) {
            if (haveText)
                return usage(QStringLiteral("give the text as one argument (quote it): %1").arg(a));
            text = a;
            haveText = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out() << SpeakHelp;
            return ExitOk;
        } else if (a == QLatin1String("--words")) {
            words = true;
        } else if (a == QLatin1String("--voice") || a == QLatin1String("--wav") ||
                   a == QLatin1String("--rate") || a == QLatin1String("--pitch") ||
                   a == QLatin1String("--volume") || a == QLatin1String("--file") ||
                   a == QLatin1String("--dict")) {
            const auto v = reader.value();
            if (!v)
                return usage(QStringLiteral("%1 needs a value").arg(a));
            if (a == QLatin1String("--voice")) {
                voiceText = *v;
            } else if (a == QLatin1String("--file")) {
                if (haveText)
                    return usage(QStringLiteral("give either a text or --file, not both"));
                const DocumentText document = readDocument(*v);
                if (!document.ok) {
                    err() << "parlanto-cli: " << document.error << "\n";
                    return ExitFailure;
                }
                text = document.text;
                haveText = fromDocument = true;
            } else if (a == QLatin1String("--dict")) {
                dicts.append(*v);
            } else if (a == QLatin1String("--wav")) {
                if (v->isEmpty())
                    return usage(QStringLiteral("--wav needs a file name"));
                wavFile = *v;
            } else {
                const auto n = percent(*v);
                if (!n)
                    return usage(
                        QStringLiteral("%1 takes a whole number from 0 to 100, not '%2'").arg(a, *v));
                (a == QLatin1String("--rate") ? rate : a == QLatin1String("--pitch") ? pitch : volume) = n;
            }
        } else {
            return usage(reader.unknown());
        }
    }
    if (!reader.problem().isEmpty())
        return usage(reader.problem());
    // The WAV stream takes standard output whole: nothing else may be printed into it, and a
    // terminal would only show noise.
    const bool toStandardOutput = wavFile == QLatin1String("-");
    if (toStandardOutput && words)
        return usage(QStringLiteral("--words prints to standard output, which --wav - takes for the sound"));
    if (toStandardOutput && ::isatty(STDOUT_FILENO))
        return usage(QStringLiteral("--wav - writes a WAV stream: send standard output to a file or a "
                                    "program, not to the terminal"));
    const QString wavName = toStandardOutput ? QStringLiteral("standard output") : wavFile;
    if (!haveText || (!fromDocument && text == QLatin1String("-"))) {
        const BoundedFile::Result in = BoundedFile::readStandardInput(largestDocumentBytes);
        if (!in.ok()) {
            err() << "parlanto-cli: " << in.error << "\n";
            return ExitFailure;
        }
        text = QString::fromUtf8(in.bytes);
    }

    QStringList candidates;
    const auto voice = findCliVoice(voiceText, &candidates);
    if (!voice)
        return voiceNotFound(voiceText, candidates);
    err().flush();
    if (!useCliPronunciation(dicts, false))
        return ExitFailure;

    // The sound file is written under a part file and takes its name only when it is complete,
    // so an interrupt or a kill never leaves a truncated file under that name. A device
    // (/dev/null, /dev/full) is written as it is.
    const SpeakTarget target = speakTargetFor(wavFile);
    std::unique_ptr<TerminationSignals> interrupts;
    if (target.part != target.file) {
        interrupts = std::make_unique<TerminationSignals>();
        QObject::connect(interrupts.get(), &TerminationSignals::terminationRequested, [&](int number) {
            QFile::remove(target.part);
            err() << "\nparlanto-cli: interrupted; " << wavFile << " was not written\n";
            err().flush();
            std::_Exit(128 + number);
        });
    }
    // Whatever ends the command before the file is in place removes the part file.
    auto removePart = qScopeGuard([&] {
        if (target.part != target.file)
            QFile::remove(target.part);
    });
    const auto cannotWrite = [&](const QString &why) {
        err() << "parlanto-cli: cannot write " << wavName << ": " << why << "\n";
        return ExitFailure;
    };
    // A device or a pipe named as the file (/dev/null, /dev/stdout) cannot go back to patch the
    // header: it takes the WAV as a stream, as standard output does.
    int device = -1;
    auto closeDevice = qScopeGuard([&] {
        if (device >= 0)
            ::close(device);
    });
    std::unique_ptr<WavWriter> writer;
    if (toStandardOutput) {
        writer = std::make_unique<WavStreamWriter>(STDOUT_FILENO);
    } else if (!wavFile.isEmpty() && target.part == target.file) {
        device = ::open(QFile::encodeName(target.file).constData(), O_WRONLY | O_CLOEXEC);
        if (device < 0)
            return cannotWrite(qt_error_string(errno));
        writer = std::make_unique<WavStreamWriter>(device);
    } else if (!wavFile.isEmpty()) {
        writer = std::make_unique<WavWriter>(target.part);
    }

    WordPrinter printer(text);
    QEventLoop loop;
    bool ok = true;
    QString writeError;
    if (voice->generation == VoiceCatalog::Generation4) {
        DirectSS engine;
        if (!engine.Select(voice->index)) {
            err() << "parlanto-cli: voice '" << voice->text << "' cannot be used\n";
            return ExitFailure;
        }
        if (rate)
            engine.setSpeed(RatePitch::positionToEngine(*rate, engine.MinSpeed(), engine.MaxSpeed()));
        engine.setPitch(
            RatePitch::positionToEngine(pitch.value_or(50), engine.MinPitch(), engine.MaxPitch()));
        engine.setLeftChannelVolume(RatePitch::positionToChannelVolume(volume.value_or(100)));
        engine.setRightChannelVolume(engine.LeftChannelVolume());
        if (writer && !writer->open())
            return cannotWrite(writer->errorString());
        engine.setAudioFile(writer.get());
        if (words)
            QObject::connect(&engine, &DirectSS::WordPosition, &loop, [&](int, int, int byteoffset) {
                const int position = byteoffset / 2;
                // The engine reports where the word starts; the word runs to the next blank.
                int end = position;
                while (end < text.size() && !text.at(end).isSpace() && !text.at(end).isNull())
                    ++end;
                printer.print(position, end - position);
            });
        QObject::connect(&engine, &DirectSS::TextDataDone, &loop, &QEventLoop::quit);
        engine.TextData(0, 0, text);
        if (engine.isSpeaking())
            loop.exec();
    } else {
        SpVoice engine;
        engine.setVoice(SpVoice::GetVoices().value(voice->index));
        if (rate)
            engine.setRate(RatePitch::positionToRate5(*rate));
        engine.setVolume(volume.value_or(100));
        if (words)
            QObject::connect(&engine, &SpVoice::Word, &loop,
                             [&](int, qint64, int position, int length) { printer.print(position, length); });
        SpFileStream stream;
        if (writer) {
            // SpFileStream owns its writer, and opens it.
            if (!stream.Open(std::move(writer)))
                return cannotWrite(stream.errorString());
            engine.setAudioOutputStream(&stream);
        }
        engine.Speak(text, SpVoice::SVSFlagsAsync);
        engine.WaitUntilDone(-1);
        if (!stream.Close()) {
            ok = false;
            writeError = stream.errorString();
        }
    }
    if (writer && !writer->close()) {
        ok = false;
        writeError = writer->errorString();
    }
    if (!ok) {
        err() << "parlanto-cli: writing " << wavName << " failed: " << writeError << "\n";
        return ExitFailure;
    }
    if (target.part != target.file && !PartFile::commit(target.part, target.file, &writeError)) {
        err() << "parlanto-cli: " << writeError << "\n";
        return ExitFailure;
    }
    removePart.dismiss();
    out().flush();
    return ExitOk;
}

int printText(const QStringList &args)
{
    QString path;
    bool havePath = false;
    bool chapters = false;
    CliArguments reader(QStringLiteral("text"), args);
    while (reader.next()) {
        const QString &a = reader.current();
        if (reader.isOperand()) {
            if (havePath)
                return usage(QStringLiteral("text takes one file: %1").arg(a));
            path = a;
            havePath = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out() << TextHelp;
            return ExitOk;
        } else if (a == QLatin1String("--chapters")) {
            chapters = true;
        } else {
            return usage(reader.unknown());
        }
    }
    if (!reader.problem().isEmpty())
        return usage(reader.problem());
    if (!havePath)
        return usage(QStringLiteral("text needs a file (try 'parlanto-cli text --help')"));

    const DocumentText document = readDocument(path);
    if (!document.ok) {
        err() << "parlanto-cli: " << document.error << "\n";
        return ExitFailure;
    }
    if (chapters) {
        const auto line = [](const QString &text) {
            return QString(text).replace(u'\n', u' ').replace(u'\t', u' ');
        };
        if (!document.title.isEmpty())
            out() << "title\t" << line(document.title) << "\n";
        if (!document.author.isEmpty())
            out() << "author\t" << line(document.author) << "\n";
        for (const ChapterMark &mark : document.chapters)
            out() << "chapter\t" << mark.offset << '\t' << mark.level << '\t' << line(mark.title) << "\n";
    } else {
        out() << document.text;
    }
    out().flush();
    return ExitOk;
}

} // namespace

int runCli(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return usage(QStringLiteral("no command given (try 'parlanto-cli --help')"));
    const QString command = arguments.first();
    const QStringList rest = arguments.mid(1);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        out() << MainHelp;
        return ExitOk;
    }
    if (command == QLatin1String("--version")) {
        out() << "parlanto-cli (Parlanto) " << ttsaboutForm::versionText().section(QLatin1Char(' '), -1)
              << "\n";
        out().flush();
        return ExitOk;
    }
    if (command == QLatin1String("voices"))
        return listVoices(rest);
    if (command == QLatin1String("speak"))
        return speak(rest);
    if (command == QLatin1String("text"))
        return printText(rest);
    if (command == QLatin1String("send"))
        return sendCommand(rest);
    if (command == QLatin1String("convert"))
        return convertCommand(rest);
    return usage(QStringLiteral("unknown command '%1' (try 'parlanto-cli --help')").arg(command));
}
