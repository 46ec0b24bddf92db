// test-links: parlanto_platform PkgConfig::TAGLIB
#include "support/document_fixtures.h"
#include "support/small_filesystem.h"
#include "support/test_home.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <csignal>

namespace {

struct Run
{
    int exitCode = -1;
    QString err;
};

Run convert(const QStringList &args, const QString &workingFolder = {})
{
    QProcess process;
    process.setWorkingDirectory(workingFolder);
    process.start(QStringLiteral(PARLANTO_CLI), QStringList{QStringLiteral("convert")} + args);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// Seconds of 22050 Hz 16-bit mono audio in a WAV file with a 44-byte header.
double wavSeconds(const QString &path)
{
    const qint64 size = QFileInfo(path).size();
    return size > 44 ? double(size - 44) / (2 * 22050) : 0;
}

// Seconds of audio in a WAV or MP3 file (an MP3 decoded with lame); -1 when it cannot be read.
double audioSeconds(const QString &path)
{
    if (!path.endsWith(QLatin1String(".mp3")))
        return wavSeconds(path);
    const QString decoded = path + QStringLiteral(".wav");
    QProcess lame;
    lame.start(QStringLiteral("lame"),
               {QStringLiteral("--quiet"), QStringLiteral("--decode"), path, decoded});
    if (!lame.waitForFinished(60000) || lame.exitCode() != 0)
        return -1;
    return wavSeconds(decoded);
}

// True when a WAV file's header counts exactly the bytes that follow it: a finished file.
bool wavComplete(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(44);
    return head.size() == 44 && head.startsWith("RIFF") &&
           qFromLittleEndian<quint32>(head.constData() + 4) == quint32(file.size() - 8) &&
           qFromLittleEndian<quint32>(head.constData() + 40) == quint32(file.size() - 44);
}

// Every name in a folder (links as links, hidden files too) with the bytes of each regular file.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        const QFileInfo info(path);
        files.insert(QDir(folder).relativeFilePath(path),
                     !info.isSymLink() && info.isFile() && file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                                          : QByteArray());
    }
    return files;
}

QStringList partFiles(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden);
}

const QByteArray Story = "The ferry left at dawn. Gulls followed it out of the harbour!\n"
                         "By noon the island was a grey line, and then nothing at all.";

} // namespace

class TestConvert : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    // A missing input among good ones: status 1, the missing one named, both good outputs
    // complete and no temporary file left behind.
    void failingInputLeavesTheOthersConverted()
    {
        QTemporaryDir dir;
        QVERIFY(writeText(dir.filePath(QStringLiteral("one.txt")), "First file."));
        QVERIFY(writeText(dir.filePath(QStringLiteral("two.txt")), "Second file, a little longer."));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out")));
        const QString out = dir.filePath(QStringLiteral("out"));
        // A part file a killed run left goes; one of a process still running stays.
        const QString live = QStringLiteral(".keep.wav.%1.part").arg(QCoreApplication::applicationPid());
        QVERIFY(writeText(QDir(out).filePath(QStringLiteral(".one.wav.2147483646.part")), "left over"));
        QVERIFY(writeText(QDir(out).filePath(live), "in progress"));
        const Run run =
            convert({QStringLiteral("--out-dir"), out, QStringLiteral("--jobs"), QStringLiteral("2"),
                     dir.filePath(QStringLiteral("one.txt")), dir.filePath(QStringLiteral("gone.txt")),
                     dir.filePath(QStringLiteral("two.txt"))});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("gone.txt")), qPrintable(run.err));
        QVERIFY(!run.err.contains(QStringLiteral("/one.txt")));
        const double one = wavSeconds(QDir(out).filePath(QStringLiteral("one.wav")));
        const double two = wavSeconds(QDir(out).filePath(QStringLiteral("two.wav")));
        QVERIFY2(one > 0.5 && two > one, qPrintable(QStringLiteral("%1 %2").arg(one).arg(two)));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{live, QStringLiteral("one.wav"), QStringLiteral("two.wav")}));
    }

    // After "--" an argument that looks like an option is a file: "--help" is converted, not
    // answered with the help.
    void fileNamedLikeAnOption()
    {
        QTemporaryDir dir;
        QVERIFY(writeText(dir.filePath(QStringLiteral("--help")), "A file with an odd name."));
        const Run run = convert({QStringLiteral("--"), QStringLiteral("--help")}, dir.path());
        QCOMPARE(run.exitCode, 0);
        QVERIFY(wavComplete(dir.filePath(QStringLiteral("--help.wav"))));
    }

    // An output that is an input, under any name, or two outputs that are one file: refused
    // before anything is written, the file named, every input as it was.
    void collidingOutputsAreRefused_data()
    {
        QTest::addColumn<QStringList>("links"); // "name>target" symbolic, "name=target" hard
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("named");
        QTest::newRow("same name") << QStringList{} << QStringList{"-o", "notes.txt", "notes.txt"}
                                   << "notes.txt";
        QTest::newRow("hard link") << QStringList{"copy.wav=notes.txt"}
                                   << QStringList{"-o", "copy.wav", "notes.txt"} << "copy.wav";
        QTest::newRow("symbolic link to the input")
            << QStringList{"link.wav>notes.txt"} << QStringList{"-o", "link.wav", "notes.txt"} << "link.wav";
        QTest::newRow("two inputs through a linked folder")
            << QStringList{"alias>folder"} << QStringList{"folder/x.txt", "alias/x.txt"} << "x.wav";
        QTest::newRow("a link to an output not made yet")
            << QStringList{"other.wav>notes.wav"} << QStringList{"--jobs", "1", "notes.txt", "other.txt"}
            << "other.wav";
        QTest::newRow(".wav input") << QStringList{} << QStringList{"talk.wav"} << "talk.wav";
        QTest::newRow(".mp3 input") << QStringList{} << QStringList{"--format", "mp3", "song.mp3"}
                                    << "song.mp3";
        QTest::newRow("subtitles beside the output")
            << QStringList{} << QStringList{"--lrc", "lyrics.lrc"} << "lyrics.lrc";
    }
    void collidingOutputsAreRefused()
    {
        QFETCH(QStringList, links);
        QFETCH(QStringList, args);
        QFETCH(QString, named);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        for (const char *name :
             {"notes.txt", "other.txt", "talk.wav", "song.mp3", "lyrics.lrc", "folder/x.txt"})
            QVERIFY(writeText(dir.filePath(QLatin1String(name)), QByteArray("Words to keep: ") + name));
        for (const QString &link : std::as_const(links)) {
            const bool hard = link.contains(QLatin1Char('='));
            const QStringList ends = link.split(hard ? QLatin1Char('=') : QLatin1Char('>'));
            QCOMPARE(hard ? ::link(qPrintable(dir.filePath(ends.at(1))), qPrintable(dir.filePath(ends.at(0))))
                          : ::symlink(qPrintable(ends.at(1)), qPrintable(dir.filePath(ends.at(0)))),
                     0);
        }
        const QMap<QString, QByteArray> before = snapshot(dir.path());
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(PARLANTO_CLI), QStringList{QStringLiteral("convert")} + args);
        QVERIFY(process.waitForFinished(60000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), 2);
        QVERIFY2(err.contains(named), qPrintable(err));
        QCOMPARE(snapshot(dir.path()), before);
    }

    // A worker killed mid-run fails only the input it was speaking: the run ends with status 1
    // naming it, and every other input is converted whole.
    void lostWorkerFailsOnlyItsInput()
    {
        QTemporaryDir dir;
        QStringList inputs;
        for (const char *name : {"first.txt", "second.txt", "third.txt"}) {
            inputs.append(dir.filePath(QLatin1String(name)));
            QVERIFY(writeText(inputs.last(), (Story + "\n\n").repeated(30)));
        }
        QProcess process;
        process.start(QStringLiteral(PARLANTO_CLI),
                      QStringList{QStringLiteral("convert"), QStringLiteral("--jobs"), QStringLiteral("2"),
                                  QStringLiteral("--part-chars"), QStringLiteral("500")} +
                          inputs);
        QVERIFY(process.waitForStarted());
        // A worker is handed its first part as it starts, so it is busy from then on.
        qint64 worker = 0;
        QTRY_VERIFY_WITH_TIMEOUT((worker = childOf(process.processId())) > 0, 20000);
        QCOMPARE(::kill(pid_t(worker), SIGKILL), 0);
        QVERIFY(process.waitForFinished(60000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), 1);
        QVERIFY2(err.contains(QLatin1String("signal 9")), qPrintable(err));
        int failed = 0;
        QList<double> lengths;
        for (const QString &input : std::as_const(inputs)) {
            const QString output = input.chopped(3) + QStringLiteral("wav");
            if (err.contains(input)) {
                ++failed;
                QVERIFY(!QFile::exists(output));
            } else {
                QVERIFY2(wavComplete(output), qPrintable(output));
                lengths.append(wavSeconds(output));
            }
        }
        QVERIFY2(failed >= 1 && failed < inputs.size(), qPrintable(err));
        for (const double seconds : std::as_const(lengths)) // the same text gives the same length
            QVERIFY2(seconds > 60 && qAbs(seconds - lengths.first()) < 0.02 * seconds,
                     qPrintable(QString::number(seconds)));
        QCOMPARE(partFiles(dir.path()), QStringList());
    }

    // A full disk fails the outputs that do not fit, with the reason; the others are whole and
    // no half file or part file is left, whether one process or several do the work.
    void fullDiskNamesTheReason_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::newRow("one process") << 1;
        QTest::newRow("workers") << 2;
    }
    void fullDiskNamesTheReason()
    {
        QFETCH(int, jobs);
        SmallFileSystem disk(1024);
        if (!disk.usable())
            QSKIP("a small file system needs root");
        QTemporaryDir dir;
        const QString small = dir.filePath(QStringLiteral("small.txt"));
        const QString large = dir.filePath(QStringLiteral("large.txt"));
        const QString after = dir.filePath(QStringLiteral("after.txt"));
        QVERIFY(writeText(small, Story));
        QVERIFY(writeText(large, (Story + "\n\n").repeated(20)));
        QVERIFY(writeText(after, Story));
        const Run run =
            convert({QStringLiteral("--jobs"), QString::number(jobs), QStringLiteral("--part-chars"),
                     QStringLiteral("500"), QStringLiteral("--srt"), QStringLiteral("--out-dir"), disk.path(),
                     small, large, after});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("large.txt: writing %1 failed: No space left on device")
                                      .arg(disk.file(QStringLiteral("large.wav")))),
                 qPrintable(run.err));
        QVERIFY(!run.err.contains(QLatin1String("Unknown error")));
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"after.srt", "after.wav", "small.srt", "small.wav"}));
        QVERIFY(wavComplete(disk.file(QStringLiteral("small.wav"))));
        QVERIFY(wavComplete(disk.file(QStringLiteral("after.wav"))));
    }

    // Every format: the file is what its name says, lasts as long as the WAV of the same text
    // spoken in the same parts (so the parts join with no gap), and carries the tags.
    void formatsLastAsLongAsTheWav_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QByteArray>("magic");
        QTest::addColumn<QString>("track");
        QTest::newRow("wav") << "wav" << QStringList{} << QByteArray("RIFF") << QString();
        QTest::newRow("mp3") << "mp3" << QStringList{} << QByteArray("ID3\x04") << "1/1";
        QTest::newRow("mp3 vbr") << "mp3" << QStringList{QStringLiteral("--vbr")} << QByteArray("ID3\x04")
                                 << "1/1";
        QTest::newRow("opus") << "opus" << QStringList{} << QByteArray("OggS") << "1";
        QTest::newRow("flac") << "flac" << QStringList{} << QByteArray("fLaC") << "1";
    }
    void formatsLastAsLongAsTheWav()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, extra);
        QFETCH(QByteArray, magic);
        QFETCH(QString, track);
        QTemporaryDir dir;
        const QString text = dir.filePath(QStringLiteral("story.txt"));
        QVERIFY(writeText(text, (Story + "\n\n").repeated(3)));
        const QStringList common{QStringLiteral("--jobs"),       QStringLiteral("2"),
                                 QStringLiteral("--part-chars"), QStringLiteral("150"),
                                 QStringLiteral("--title"),      QStringLiteral("Sea Stories"),
                                 QStringLiteral("--author"),     QStringLiteral("Ann Tide")};
        const QString wav = dir.filePath(QStringLiteral("reference.wav"));
        const QString out = dir.filePath(QStringLiteral("story.") + format);
        if (format != QLatin1String("wav"))
            QCOMPARE(convert(common + QStringList{QStringLiteral("-o"), wav, text}).exitCode, 0);
        const Run run = convert(common + extra + QStringList{QStringLiteral("-o"), out, text});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));

        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray head = file.read(64);
        QVERIFY2(head.startsWith(magic), head.toHex().constData());
        if (format == QLatin1String("opus"))
            QVERIFY(head.contains("OpusHead"));

        const TagLib::FileRef ref(QFile::encodeName(out).constData());
        QVERIFY(!ref.isNull() && ref.audioProperties());
        QCOMPARE(ref.audioProperties()->channels(), 1);
        if (format == QLatin1String("wav")) {
            QVERIFY(wavComplete(out));
            return; // WAV carries no tags
        }
        const double seconds = ref.audioProperties()->lengthInMilliseconds() / 1000.0;
        const double expected = wavSeconds(wav);
        QVERIFY(expected > 10);
        QVERIFY2(
            qAbs(seconds - expected) <= 0.01 * expected,
            qPrintable(
                QStringLiteral("%1 s in the %2, %3 s in the WAV").arg(seconds).arg(format).arg(expected)));
        if (format == QLatin1String("mp3") && !extra.contains(QStringLiteral("--vbr"))) {
            QCOMPARE(ref.audioProperties()->bitrate(), 32);
            QCOMPARE(ref.audioProperties()->sampleRate(), 22050);
        }
        const TagLib::PropertyMap tags = ref.file()->properties();
        const auto tag = [&](const char *key) {
            return tags.contains(key) ? QString::fromStdString(tags[key].toString(", ").to8Bit(true))
                                      : QString();
        };
        QCOMPARE(tag("TITLE"), QStringLiteral("Sea Stories"));
        QCOMPARE(tag("ALBUM"), QStringLiteral("Sea Stories"));
        QCOMPARE(tag("ARTIST"), QStringLiteral("Ann Tide"));
        QCOMPARE(tag("TRACKNUMBER"), track);
        QVERIFY2(tag("COMMENT").contains(QStringLiteral("English")), qPrintable(tag("COMMENT")));
    }

    // The same text and options give the same bytes whatever the number of jobs, subtitles
    // too; an Opus stream on standard output is the file's bytes.
    void sameBytesWhateverTheJobs_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("mp3") << "mp3";
        QTest::newRow("opus") << "opus";
        QTest::newRow("flac") << "flac";
    }
    void sameBytesWhateverTheJobs()
    {
        QFETCH(QString, format);
        QTemporaryDir dir;
        const QString text = dir.filePath(QStringLiteral("story.txt"));
        QVERIFY(writeText(text, (Story + "\n\n").repeated(5)));
        QByteArray first, firstSubtitles;
        for (const QString &jobs : {QStringLiteral("1"), QStringLiteral("2")}) {
            const QString out = dir.filePath(QStringLiteral("jobs%1.%2").arg(jobs, format));
            const Run run =
                convert({QStringLiteral("--jobs"), jobs, QStringLiteral("--part-chars"),
                         QStringLiteral("150"), QStringLiteral("--srt"), QStringLiteral("-o"), out, text});
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
            QFile file(out),
                subtitles(QString(out).replace(QLatin1String(".") + format, QLatin1String(".srt")));
            QVERIFY(file.open(QIODevice::ReadOnly) && subtitles.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll(), srt = subtitles.readAll();
            QVERIFY(bytes.size() > 10000 && srt.contains("-->"));
            if (first.isEmpty()) {
                first = bytes;
                firstSubtitles = srt;
                continue;
            }
            QVERIFY2(bytes == first, qPrintable(QStringLiteral("--jobs %1 gave other bytes").arg(jobs)));
            QCOMPARE(srt, firstSubtitles);
        }
        if (format != QLatin1String("opus"))
            return;
        QProcess process;
        process.start(QStringLiteral(PARLANTO_CLI),
                      {QStringLiteral("convert"), QStringLiteral("--part-chars"), QStringLiteral("150"),
                       QStringLiteral("--format"), QStringLiteral("opus"), QStringLiteral("-o"),
                       QStringLiteral("-"), text});
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(process.readAllStandardOutput() == first);
    }

    // A book's chapters, from an EPUB's contents and from the chapter lines of a plain text:
    // one file each, "NN - Title", tagged with its place in the book, subtitles beside each,
    // and the playlist in order. --dry-run names the same files and writes none.
    void chaptersBecomeFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("names"); // the titles as file names
        QTest::addColumn<QString>("album");
        QTest::addColumn<QString>("artist");
        QTest::newRow("epub") << "book.epub" << Fixture::writeEpub(Fixture::sampleBook(), 3)
                              << QStringList{"Chapter One", "Chapter Two"}
                              << QStringList{"Chapter One", "Chapter Two"} << "The Harbour Book"
                              << "Ada Quill";
        // A chapter line in the middle of a paragraph is prose; a bare number takes the short
        // line after it as its title.
        const QByteArray plain = "A Winter Crossing\n\nCHAPTER I\n\n" + Story +
                                 "\n\nChapter 2: The Harbour\n\n" + Story +
                                 "\nChapter 4 of the log says why.\nNobody read it.\n\nchapter xii\n" +
                                 "The Last Ferry\n\nThe end.\n";
        QTest::newRow("plain text") << "crossing.txt" << plain
                                    << QStringList{"CHAPTER I", "Chapter 2: The Harbour",
                                                   "chapter xii The Last Ferry"}
                                    << QStringList{"CHAPTER I", "Chapter 2 The Harbour",
                                                   "chapter xii The Last Ferry"}
                                    << "crossing" << QString();
    }
    void chaptersBecomeFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, titles);
        QFETCH(QStringList, names);
        QFETCH(QString, album);
        QFETCH(QString, artist);
        QTemporaryDir dir;
        const QString input = dir.filePath(name);
        QVERIFY(writeText(input, content));
        const QString out = dir.filePath(QStringLiteral("book"));
        QStringList expected;
        for (int i = 0; i < titles.size(); ++i)
            expected << QStringLiteral("%1 - %2.opus").arg(i + 1, 2, 10, QLatin1Char('0')).arg(names.at(i))
                     << QStringLiteral("%1 - %2.srt").arg(i + 1, 2, 10, QLatin1Char('0')).arg(names.at(i));
        const QStringList args{QStringLiteral("--chapters"),
                               QStringLiteral("--format"),
                               QStringLiteral("opus"),
                               QStringLiteral("--srt"),
                               QStringLiteral("--out-dir"),
                               out,
                               input};

        QProcess dry;
        dry.start(QStringLiteral(PARLANTO_CLI),
                  QStringList{QStringLiteral("convert"), QStringLiteral("--dry-run")} + args);
        QVERIFY(dry.waitForFinished(60000));
        QCOMPARE(dry.exitCode(), 0);
        const QString plan = QString::fromUtf8(dry.readAllStandardOutput());
        for (const QString &title : titles)
            QVERIFY2(plan.contains(title), qPrintable(plan));
        QVERIFY(!QFileInfo::exists(out));

        const Run run = convert(args);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QStringList files = QDir(out).entryList(QDir::Files | QDir::Hidden);
        QVERIFY(files.removeOne(album + QStringLiteral(".m3u")));
        QCOMPARE(files, expected);
        QFile playlist(QDir(out).filePath(album + QStringLiteral(".m3u")));
        QVERIFY(playlist.open(QIODevice::ReadOnly));
        QStringList listed;
        for (const QString &line : QString::fromUtf8(playlist.readAll()).split(QLatin1Char('\n')))
            if (line.endsWith(QLatin1String(".opus")))
                listed.append(line);
        QCOMPARE(listed, expected.filter(QStringLiteral(".opus")));
        for (int i = 0; i < titles.size(); ++i) {
            const TagLib::FileRef ref(QFile::encodeName(QDir(out).filePath(listed.at(i))).constData());
            QVERIFY(!ref.isNull());
            const TagLib::PropertyMap tags = ref.file()->properties();
            QCOMPARE(QString::fromStdString(tags["TITLE"].toString().to8Bit(true)), titles.at(i));
            QCOMPARE(QString::fromStdString(tags["ALBUM"].toString().to8Bit(true)), album);
            QCOMPARE(QString::fromStdString(tags["ARTIST"].toString().to8Bit(true)), artist);
            QCOMPARE(QString::fromStdString(tags["TRACKNUMBER"].toString().to8Bit(true)),
                     QString::number(i + 1));
            QCOMPARE(QString::fromStdString(tags["TRACKTOTAL"].toString().to8Bit(true)),
                     QString::number(titles.size()));
            QVERIFY(ref.audioProperties()->lengthInMilliseconds() > 1000);
        }
    }

    // Subtitles from either engine: times increase, and the last ends with the audio. Spoken
    // in parts on two cores, the text gives one output as long as the same text spoken in one
    // piece, and the times keep increasing across the joins.
    void subtitlesFollowTheAudio_data()
    {
        QTest::addColumn<QString>("voice");
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("copies"); // of the three-sentence story
        QTest::addColumn<int>("partChars");
        const QString espeak = QStringLiteral("English (America) (TTS4.0)");
        const QString flite = QStringLiteral("Flite slt (US English, female) (TTS5.0)");
        QTest::newRow("espeak") << espeak << "wav" << 1 << 2000;
        QTest::newRow("flite") << flite << "wav" << 1 << 2000;
        QTest::newRow("espeak in parts, mp3") << espeak << "mp3" << 6 << 150;
        QTest::newRow("flite in parts") << flite << "wav" << 4 << 150;
    }
    void subtitlesFollowTheAudio()
    {
        QFETCH(QString, voice);
        QFETCH(QString, format);
        QFETCH(int, copies);
        QFETCH(int, partChars);
        if (format == QLatin1String("mp3") &&
            QStandardPaths::findExecutable(QStringLiteral("lame")).isEmpty())
            QSKIP("lame is not installed");
        QTemporaryDir dir;
        const QByteArray text = (Story + "\n\n").repeated(copies);
        auto speak = [&](const QString &output, const QStringList &extra) {
            QProcess process;
            process.start(QStringLiteral(PARLANTO_CLI),
                          QStringList{QStringLiteral("convert"), QStringLiteral("--voice"), voice,
                                      QStringLiteral("--part-chars"), QString::number(partChars),
                                      QStringLiteral("-o"), output} +
                              extra + QStringList{QStringLiteral("-")});
            process.write(text);
            process.closeWriteChannel();
            return process.waitForFinished(60000) && process.exitCode() == 0;
        };
        const QString out = dir.filePath(QStringLiteral("story.") + format);
        QVERIFY(speak(out, {QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("--srt"),
                            QStringLiteral("--lrc")}));
        const double audio = audioSeconds(out);
        if (copies > 1) {
            const QString whole = dir.filePath(QStringLiteral("whole.wav"));
            QVERIFY(speak(whole, {QStringLiteral("--jobs"), QStringLiteral("1")}));
            QVERIFY2(
                qAbs(audio - wavSeconds(whole)) <= 0.02 * wavSeconds(whole),
                qPrintable(QStringLiteral("%1 s in parts, %2 s whole").arg(audio).arg(wavSeconds(whole))));
        }

        QFile srt(dir.filePath(QStringLiteral("story.srt")));
        QVERIFY(srt.open(QIODevice::ReadOnly));
        const QString cues = QString::fromUtf8(srt.readAll());
        static const QRegularExpression timing(QStringLiteral(
            "(\\d\\d):(\\d\\d):(\\d\\d),(\\d\\d\\d) --> (\\d\\d):(\\d\\d):(\\d\\d),(\\d\\d\\d)"));
        auto seconds = [](const QRegularExpressionMatch &m, int first) {
            return m.captured(first).toInt() * 3600 + m.captured(first + 1).toInt() * 60 +
                   m.captured(first + 2).toInt() + m.captured(first + 3).toInt() / 1000.0;
        };
        QList<double> starts;
        double end = 0;
        for (auto it = timing.globalMatch(cues); it.hasNext();) {
            const auto m = it.next();
            QVERIFY2(starts.isEmpty() || seconds(m, 1) > starts.last(), qPrintable(m.captured(0)));
            starts.append(seconds(m, 1));
            end = seconds(m, 5);
            QVERIFY(end > starts.last());
        }
        QCOMPARE(starts.size(), 3 * copies); // one per sentence
        QVERIFY(starts.at(0) < 0.5);
        // Each copy of the story starts about one story's length after the one before.
        const double story = audio / copies;
        for (int i = 3; i < starts.size(); i += 3)
            QVERIFY2(qAbs(starts.at(i) - starts.at(i - 3) - story) < 0.1 * story,
                     qPrintable(QStringLiteral("copy %1 at %2 s").arg(i / 3).arg(starts.at(i))));
        QVERIFY2(qAbs(end - audio) <= 0.5, qPrintable(QStringLiteral("%1 vs %2").arg(end).arg(audio)));
        QVERIFY(cues.contains(QStringLiteral("\nGulls followed it out of the harbour!\n")));

        QFile lrc(dir.filePath(QStringLiteral("story.lrc")));
        QVERIFY(lrc.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(lrc.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3 * copies + 1);
        QVERIFY(lines.at(1).startsWith(QLatin1Char('[')) && lines.at(1).endsWith(QLatin1String("harbour!")));
    }

    // Stopped while it works in parts (Ctrl+C, kill), the run leaves no unfinished file and no
    // worker process behind.
    void interruptedRunLeavesNothingBehind()
    {
        QTemporaryDir dir;
        const QString text = dir.filePath(QStringLiteral("long.txt"));
        QVERIFY(writeText(text, (Story + "\n\n").repeated(150)));
        QProcess process;
        process.start(QStringLiteral(PARLANTO_CLI),
                      {QStringLiteral("convert"), QStringLiteral("--jobs"), QStringLiteral("2"),
                       QStringLiteral("--part-chars"), QStringLiteral("500"), QStringLiteral("-o"),
                       dir.filePath(QStringLiteral("long.mp3")), text});
        const QStringList partial{QStringLiteral(".long.mp3.*.part")};
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(dir.path()).entryList(partial, QDir::Files | QDir::Hidden).isEmpty(),
                                 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!workerProcesses().isEmpty(), 20000);
        process.terminate();
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 128 + 15);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("long.txt")});
        QTRY_COMPARE(workerProcesses(), QStringList());
    }

private:
    // A child process of `parent` (a worker), 0 while there is none.
    static qint64 childOf(qint64 parent)
    {
        for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray line = stat.readAll();
            // "pid (name) state ppid ...": the name may hold blanks, so count from its end.
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields.at(1).toLongLong() == parent)
                return pid.toLongLong();
        }
        return 0;
    }

    // Worker processes started for this test's program folder still alive (not zombies).
    static QStringList workerProcesses()
    {
        const QByteArray home = "PARLANTO_HOME=" + qgetenv("PARLANTO_HOME");
        QStringList found;
        for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
            QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!cmdline.open(QIODevice::ReadOnly) || !cmdline.readAll().contains("--part-worker") ||
                !environ.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
                continue;
            if (environ.readAll().split('\0').contains(home) && !stat.readAll().contains(") Z "))
                found.append(pid);
        }
        return found;
    }
};

QTEST_GUILESS_MAIN(TestConvert)
#include "test_convert.moc"
