// test-links: parlanto_speech
#include "support/test_home.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run cli(const QStringList &args, const QByteArray &input = {})
{
    QProcess process;
    process.start(QStringLiteral(PARLANTO_CLI), args);
    if (!process.waitForStarted())
        return {};
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void voicesListBothGenerationsInOrder()
    {
        const Run run = cli({QStringLiteral("voices")});
        QCOMPARE(run.exitCode, 0);
        const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 10);
        const QStringList flite = lines.mid(lines.size() - 5);
        for (const QString &line : flite)
            QVERIFY2(line.endsWith(QLatin1String(" (TTS5.0)")) && line.startsWith(QLatin1String("Flite ")),
                     qPrintable(line));
        for (const QString &line : lines.mid(0, lines.size() - 5))
            QVERIFY2(line.endsWith(QLatin1String(" (TTS4.0)")), qPrintable(line));
        // Names come trimmed, so that every line can be given back to --voice as it reads.
        for (const QString &line : lines)
            QVERIFY2(line == line.simplified(), qPrintable(line));
        QVERIFY(lines.contains(QStringLiteral("Cherokee (TTS4.0)")));
        QTemporaryDir dir;
        QCOMPARE(cli({QStringLiteral("speak"), QStringLiteral("--voice"), QStringLiteral("Cherokee (TTS4.0)"),
                      QStringLiteral("--wav"), dir.filePath(QStringLiteral("cherokee.wav")),
                      QStringLiteral("osiyo")})
                     .exitCode,
                 0);
        QVERIFY(lines.contains(QStringLiteral("English (America) (TTS4.0)")));
    }

    void speakWritesWavAndWords_data()
    {
        QTest::addColumn<QString>("voice");
        QTest::newRow("espeak") << QStringLiteral("English (America) (TTS4.0)");
        QTest::newRow("flite") << QStringLiteral("Flite slt (US English, female) (TTS5.0)");
    }

    void speakWritesWavAndWords()
    {
        QFETCH(QString, voice);
        QTemporaryDir dir;
        const QString wav = dir.filePath(QStringLiteral("out put.wav"));
        const QString text = QStringLiteral("Good morning, dear listener.");
        const Run run =
            cli({QStringLiteral("speak"), QStringLiteral("--voice"), voice, QStringLiteral("--wav"), wav,
                 QStringLiteral("--words"), QStringLiteral("--rate"), QStringLiteral("60"), text});
        QCOMPARE(run.exitCode, 0);
        // Flite names the word itself; for eSpeak NG the word runs from where it starts to the next blank.
        const QStringList expected =
            voice.contains(QLatin1String("TTS5.0"))
                ? QStringList{"0 4 Good", "5 7 morning", "14 4 dear", "19 8 listener"}
                : QStringList{"0 4 Good", "5 8 morning,", "14 4 dear", "19 9 listener."};
        const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines, expected);
        QFile file(wav);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        QVERIFY(data.startsWith("RIFF"));
        QCOMPARE(qFromLittleEndian<quint32>(data.constData() + 24), 22050u);
        QCOMPARE(qint64(qFromLittleEndian<quint32>(data.constData() + 40)), qint64(data.size() - 44));
        QVERIFY(data.size() > 44 + 22050);
    }

    void speakReadsStandardInput()
    {
        QTemporaryDir dir;
        const QString wav = dir.filePath(QStringLiteral("stdin.wav"));
        const Run run = cli({QStringLiteral("speak"), QStringLiteral("--wav"), wav, QStringLiteral("--words"),
                             QStringLiteral("-")},
                            "piped words");
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("0 5 piped\n6 5 words\n"));
    }

    // Stopped while it writes, speak --wav leaves no file under the name it was given: an
    // interrupt removes what it wrote, a kill leaves only the hidden part file.
    void interruptedSpeakLeavesNoFile_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl+C") << int(SIGINT);
        QTest::newRow("kill -9") << int(SIGKILL);
    }

    void interruptedSpeakLeavesNoFile()
    {
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString wav = dir.filePath(QStringLiteral("out.wav"));
        QProcess process;
        process.start(QStringLiteral(PARLANTO_CLI),
                      {QStringLiteral("speak"), QStringLiteral("--wav"), wav, QStringLiteral("-")});
        QVERIFY(process.waitForStarted());
        process.write(
            QByteArray("The ferry left at dawn. Gulls followed it out of the harbour!\n").repeated(4000));
        process.closeWriteChannel();
        auto written = [&] { // by any name: a few seconds of speech
            qint64 bytes = 0;
            for (const QFileInfo &file : QDir(dir.path()).entryInfoList(QDir::Files | QDir::Hidden))
                bytes += file.size();
            return bytes;
        };
        QTRY_VERIFY_WITH_TIMEOUT(written() > 1000000, 30000);
        QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
        QVERIFY(process.waitForFinished(20000));
        QVERIFY(!QFile::exists(wav));
        if (signal != SIGKILL) {
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), 128 + signal);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        }
    }

    // Input that never ends (a pipe, a link to a kernel file) is refused as too large once it
    // passes the cap, instead of filling the memory.
    void endlessInputIsTooLarge_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("endlessStandardInput");
        QTest::newRow("speak -") << QStringList{"speak", "--wav", "out.wav", "-"} << true;
        QTest::newRow("convert -") << QStringList{"convert", "-o", "out.wav", "-"} << true;
        QTest::newRow("send read -") << QStringList{"send", "read", "-"} << true;
        QTest::newRow("convert a link to /proc/self/pagemap")
            << QStringList{"convert", "endless.txt"} << false;
    }

    void endlessInputIsTooLarge()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, endlessStandardInput);
        QTemporaryDir dir;
        QCOMPARE(::symlink("/proc/self/pagemap", qPrintable(dir.filePath(QStringLiteral("endless.txt")))), 0);
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.setStandardInputFile(endlessStandardInput ? QStringLiteral("/dev/zero")
                                                          : QProcess::nullDevice());
        process.start(QStringLiteral(PARLANTO_CLI), args);
        QVERIFY(process.waitForFinished(60000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), 1);
        // A hand-over names its own, smaller limit.
        QVERIFY2(err.contains(QLatin1String("too large")) ||
                     err.contains(QLatin1String("too long to hand over")),
                 qPrintable(err));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("endless.txt")});
    }

    void usageErrorsAndFailures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no command") << QStringList{} << 2 << "no command";
        QTest::newRow("unknown command") << QStringList{"sing"} << 2 << "unknown command 'sing'";
        QTest::newRow("unknown option")
            << QStringList{"speak", "--loud", "x"} << 2 << "unknown option --loud";
        QTest::newRow("rate too high") << QStringList{"speak", "--rate", "101", "x"} << 2 << "--rate takes";
        QTest::newRow("rate not a number") << QStringList{"speak", "--rate", "fast", "x"} << 2 << "'fast'";
        QTest::newRow("missing value") << QStringList{"speak", "--voice"} << 2 << "--voice needs a value";
        QTest::newRow("two texts") << QStringList{"speak", "one", "two"} << 2 << "one argument";
        QTest::newRow("voices extra") << QStringList{"voices", "all"} << 2 << "no arguments";
        QTest::newRow("unknown voice") << QStringList{"speak", "--voice", "Nobody (TTS4.0)", "x"} << 1
                                       << "unknown voice 'Nobody (TTS4.0)'";
        QTest::newRow("unwritable wav") << QStringList{"speak", "--wav", "/nonexistent/dir/a.wav", "x"} << 1
                                        << "cannot write /nonexistent/dir/a.wav";
        QTest::newRow("missing rule file") << QStringList{"speak", "--dict", "/nonexistent/rules.txt", "x"}
                                           << 1 << "no such rule file: /nonexistent/rules.txt";
        QTest::newRow("empty wav name")
            << QStringList{"speak", "--wav", "", "hi"} << 2 << "--wav needs a file name";
        QTest::newRow("full device, eSpeak NG") << QStringList{"speak", "--wav", "/dev/full", "hi"} << 1
                                                << "writing /dev/full failed: No space left on device";
        QTest::newRow("full device, Flite")
            << QStringList{"speak", "--voice",   "Flite slt (US English, female) (TTS5.0)",
                           "--wav", "/dev/full", "hi"}
            << 1 << "writing /dev/full failed: No space left on device";
    }

    void usageErrorsAndFailures()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const Run run = cli(args);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
    }

    // --dict files and the user's own rule file change what is said: the audio lasts as long as
    // the replacement text's, spoken directly, in speak and in a convert spread over workers. A
    // bad line is named on standard error once and skipped.
    void dictRulesChangeTheAudio()
    {
        QTemporaryDir dir;
        const QString rules = dir.filePath(QStringLiteral("rules.txt"));
        QFile file(rules);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("NASA = National Aeronautics and Space Administration\n/(bad/ = x\n");
        file.close();
        QFile user(home.file(QStringLiteral("pronunciation.txt")));
        QVERIFY(user.open(QIODevice::WriteOnly));
        user.write("!launched = sent up\n");
        user.close();
        const auto samples = [](const QString &wav) { return (QFileInfo(wav).size() - 44) / 2; };
        const QString voice = QStringLiteral("English (America) (TTS4.0)");
        const auto speak = [&](const QString &name, const QString &text, bool dict) {
            const QString wav = dir.filePath(name);
            QStringList args{QStringLiteral("speak"), QStringLiteral("--voice"), voice,
                             QStringLiteral("--wav"), wav};
            if (dict)
                args << QStringLiteral("--dict") << rules;
            const Run run = cli(args << text);
            return run.exitCode == 0 ? samples(wav) : -1;
        };
        const QString text = QStringLiteral("NASA launched it.");
        const qint64 plain = speak(QStringLiteral("plain.wav"), text, false);
        const qint64 ruled = speak(QStringLiteral("ruled.wav"), text, true);
        const qint64 direct =
            speak(QStringLiteral("direct.wav"),
                  QStringLiteral("National Aeronautics and Space Administration sent up it."), false);
        QVERIFY(plain > 0 && ruled > 0 && direct > 0);
        QVERIFY2(qAbs(ruled - direct) <= direct / 50,
                 qPrintable(QStringLiteral("%1 %2").arg(ruled).arg(direct)));
        QVERIFY2(plain < direct * 7 / 10, qPrintable(QStringLiteral("%1 %2").arg(plain).arg(direct)));

        // The same through convert's workers, each of which reads the rules itself.
        const QString input = dir.filePath(QStringLiteral("in.txt")),
                      repeated = dir.filePath(QStringLiteral("r.txt"));
        for (const auto &[path, sentence] :
             {std::pair{input, text},
              std::pair{repeated,
                        QStringLiteral("National Aeronautics and Space Administration sent up it.")}}) {
            QFile in(path);
            QVERIFY(in.open(QIODevice::WriteOnly));
            in.write(QString(sentence + u' ').repeated(12).toUtf8());
        }
        const auto convert = [&](const QString &from, const QString &name, bool dict) {
            const QString wav = dir.filePath(name);
            QStringList args{
                QStringLiteral("convert"), QStringLiteral("--voice"), voice,
                QStringLiteral("--jobs"),  QStringLiteral("2"),       QStringLiteral("--part-chars"),
                QStringLiteral("60"),      QStringLiteral("-o"),      wav};
            if (dict)
                args << QStringLiteral("--dict") << rules;
            const Run run = cli(args << from);
            if (dict)
                [&] { QCOMPARE(run.err.count(QStringLiteral("line 2")), 1); }();
            return run.exitCode == 0 ? samples(wav) : -1;
        };
        const qint64 convertedRuled = convert(input, QStringLiteral("c1.wav"), true);
        const qint64 convertedDirect = convert(repeated, QStringLiteral("c2.wav"), false);
        QVERIFY(convertedRuled > 0 && convertedDirect > 0);
        QVERIFY2(qAbs(convertedRuled - convertedDirect) <= convertedDirect / 50,
                 qPrintable(QStringLiteral("%1 %2").arg(convertedRuled).arg(convertedDirect)));
        QVERIFY(user.remove());
    }

    void textPrintsTheDocumentsPlainText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("rtf")
            << "letter.rtf"
            << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}\\f0\\fs40\\b Bold\\b0  "
                          "caf\\'e9\\par\\i next\\i0  line\\par}")
            << QString::fromUtf8("Bold caf\u00e9\nnext line");
        // UTF-16 LE with its byte-order mark, CR LF line ends.
        QByteArray utf16("\xff\xfe");
        for (const char16_t c : u"\u010cesk\u00fd\r\n\u6587")
            if (c)
                utf16.append(char(c & 0xff)).append(char(c >> 8));
        QTest::newRow("utf-16") << "czech.txt" << utf16 << QString::fromUtf8("\u010cesk\u00fd\n\u6587");
        // Windows-1252, old Mac line ends.
        QTest::newRow("windows-1252") << "notes.txt" << QByteArray("cr\xe8me\rbr\xfbl\xe9")
                                      << QString::fromUtf8("cr\u00e8me\nbr\u00fbl\u00e9");
    }

    void textPrintsTheDocumentsPlainText()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
        file.close();
        const Run run = cli({QStringLiteral("text"), file.fileName()});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, expected);
        QVERIFY(run.err.isEmpty());
    }

    void textFailures()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("gone.rtf"));
        Run run = cli({QStringLiteral("text"), missing});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err, QStringLiteral("parlanto-cli: The file \"%1\" does not exist.\n").arg(missing));

        run = cli({QStringLiteral("text"), dir.path()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QLatin1String("is a folder")), qPrintable(run.err));

        for (const QStringList &args : {QStringList{"text"}, QStringList{"text", "a.txt", "b.txt"},
                                        QStringList{"text", "--all", "a.txt"}}) {
            run = cli(args);
            QCOMPARE(run.exitCode, 2);
            QVERIFY(run.out.isEmpty());
            QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
        }
    }

    // The conventions every command shares: '-' for standard input, --opt=value, '--', short
    // options that are not the command's are usage errors, --version, voices as people type them.
    void conventions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("fragment");
        QTest::newRow("version") << QStringList{"--version"} << QByteArray() << 0
                                 << "parlanto-cli (Parlanto) 1.";
        QTest::newRow("speak -x") << QStringList{"speak", "-x"} << QByteArray() << 2
                                  << "unknown option -x (try 'parlanto-cli speak --help')";
        // eSpeak NG starts the word after the dash.
        QTest::newRow("speak -- -x") << QStringList{"speak", "--words", "--", "-x"} << QByteArray() << 0
                                     << "1 1 x\n";
        QTest::newRow("--opt=value, stdin")
            << QStringList{"speak", "--rate=60", "--volume", "40", "--words", "-"}
            << QByteArray("from a pipe") << 0 << "0 4 from\n";
        QTest::newRow("flag with a value")
            << QStringList{"speak", "--words=yes", "hi"} << QByteArray() << 2 << "--words takes no value";
        QTest::newRow("missing value after =")
            << QStringList{"speak", "--rate=", "hi"} << QByteArray() << 2 << "not ''";
        QTest::newRow("words into the WAV stream")
            << QStringList{"speak", "--wav", "-", "--words", "hi"} << QByteArray() << 2 << "--words prints";
        // Flite names a word without its comma, eSpeak NG with it.
        QTest::newRow("voice by a part") << QStringList{"speak", "--voice=SLT", "--words", "Hi, there."}
                                         << QByteArray() << 0 << "0 2 Hi\n";
        QTest::newRow("voice by language")
            << QStringList{"speak", "--voice", "EN-us", "--words", "Hi, there."} << QByteArray() << 0
            << "0 3 Hi,\n";
        QTest::newRow("ambiguous voice") << QStringList{"speak", "--voice", "english", "hi"} << QByteArray()
                                         << 2 << "\n  English (America) (TTS4.0)\n";
        QTest::newRow("speak --file -") << QStringList{"speak", "--words", "--file", "-"}
                                        << QByteArray("{\\rtf1 Rich\\b  text\\b0\\par}") << 0 << "0 4 Rich\n";
        QTest::newRow("text -") << QStringList{"text", "-"}
                                << QByteArray("{\\rtf1 Piped \\b rich\\b0  text\\par}") << 0
                                << "Piped rich text";
        QTest::newRow("text -x") << QStringList{"text", "-x"} << QByteArray() << 2 << "unknown option -x";
        QTest::newRow("text --chapters=1")
            << QStringList{"text", "--chapters=1", "-"} << QByteArray() << 2 << "--chapters takes no value";
        QTest::newRow("convert -x") << QStringList{"convert", "-x", "-"} << QByteArray() << 2
                                    << "unknown option -x (try 'parlanto-cli convert --help')";
        QTest::newRow("convert --jobs=0") << QStringList{"convert", "--jobs=0", "-"} << QByteArray() << 2
                                          << "--jobs takes a whole number from 1 to 256, not '0'";
        QTest::newRow("voices -x") << QStringList{"voices", "-x"} << QByteArray() << 2 << "unknown option -x";
        QTest::newRow("send read -x")
            << QStringList{"send", "read", "-x"} << QByteArray() << 2 << "unknown option -x";
        QTest::newRow("send read -- -x")
            << QStringList{"send", "read", "--", "-x"} << QByteArray() << 1 << "Parlanto is not running";
        // Read and decoded as a document: the bytes are there, the text is not.
        QTest::newRow("send file -") << QStringList{"send", "file", "-"} << QByteArray("{\\rtf1 \\par}") << 1
                                     << "nothing to read";
        QTest::newRow("send voice by a part")
            << QStringList{"send", "voice", "flite"} << QByteArray() << 2 << "could be any of 5 voices";
    }

    void conventions()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QString, fragment);
        // No Parlanto window of anyone else's answers a hand-over.
        qputenv("PARLANTO_INSTANCE", "test-cli-" + QByteArray::number(QCoreApplication::applicationPid()));
        const Run run = cli(args, input);
        const QString shown = run.out + run.err;
        QVERIFY2(run.exitCode == exitCode,
                 qPrintable(QString::number(run.exitCode) + QLatin1Char(' ') + shown));
        QVERIFY2(shown.contains(fragment), qPrintable(shown));
    }

    // speak --wav - writes the WAV to standard output: a program reading a pipe gets every sample
    // the file would hold, with no complaint about the header; a redirection to a file gets the
    // file itself, header sizes included.
    void speakWavToStandardOutput_data()
    {
        QTest::addColumn<QString>("voice");
        QTest::newRow("espeak") << QStringLiteral("English (America) (TTS4.0)");
        QTest::newRow("flite") << QStringLiteral("slt");
    }

    void speakWavToStandardOutput()
    {
        QFETCH(QString, voice);
        QTemporaryDir dir;
        const QString text = QStringLiteral("Through the pipe, and out the other end.");
        const QString file = dir.filePath(QStringLiteral("file.wav"));
        QCOMPARE(cli({QStringLiteral("speak"), QStringLiteral("--voice"), voice, QStringLiteral("--wav"),
                      file, text})
                     .exitCode,
                 0);
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray expected = written.readAll();
        QVERIFY(expected.size() > 44 + 22050);

        const QString sox = QStandardPaths::findExecutable(QStringLiteral("sox"));
        QVERIFY2(!sox.isEmpty(), "sox is installed by scripts/install-deps");
        // A pipe named as the file takes the same stream as '-'; so does a device.
        for (const QString &target : {QStringLiteral("-"), QStringLiteral("/dev/stdout")}) {
            QProcess speak, reader;
            speak.setStandardOutputProcess(&reader);
            const QString raw = dir.filePath(QStringLiteral("piped.raw"));
            reader.start(sox, {QStringLiteral("-t"), QStringLiteral("wav"), QStringLiteral("-"),
                               QStringLiteral("-t"), QStringLiteral("raw"), raw});
            speak.start(QStringLiteral(PARLANTO_CLI), {QStringLiteral("speak"), QStringLiteral("--voice"),
                                                       voice, QStringLiteral("--wav"), target, text});
            QVERIFY(speak.waitForFinished(60000) && reader.waitForFinished(60000));
            QCOMPARE(QString::fromUtf8(speak.readAllStandardError()), QString());
            QCOMPARE(speak.exitCode(), 0);
            QCOMPARE(reader.exitCode(), 0);
            QCOMPARE(QString::fromUtf8(reader.readAllStandardError()), QString());
            QFile piped(raw);
            QVERIFY(piped.open(QIODevice::ReadOnly));
            QVERIFY(piped.readAll() == expected.mid(44));
        }
        const Run toNull = cli({QStringLiteral("speak"), QStringLiteral("--voice"), voice,
                                QStringLiteral("--wav"), QStringLiteral("/dev/null"), text});
        QCOMPARE(toNull.err, QString());
        QCOMPARE(toNull.exitCode, 0);

        QProcess redirected;
        const QString target = dir.filePath(QStringLiteral("redirected.wav"));
        redirected.setStandardOutputFile(target);
        redirected.start(QStringLiteral(PARLANTO_CLI),
                         {QStringLiteral("speak"), QStringLiteral("--voice"), voice, QStringLiteral("--wav"),
                          QStringLiteral("-"), text});
        QVERIFY(redirected.waitForFinished(60000));
        QCOMPARE(redirected.exitCode(), 0);
        QFile copy(target);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QVERIFY(copy.readAll() == expected);
    }

    // `speak` checks the kept voice list against the voice folders parlanto-cli walked while it
    // loaded: a list `voices` kept stays valid, and is not listed and written again.
    void speakKeepsTheVoiceListThatVoicesKept()
    {
        QVERIFY(cli({QStringLiteral("voices")}).exitCode == 0);
        const QString kept = qEnvironmentVariable("XDG_CACHE_HOME") +
                             QStringLiteral("/parlanto/espeak-ng-voices-parlanto-cli");
        const auto stamp = [&] {
            struct stat info = {};
            return ::stat(QFile::encodeName(kept).constData(), &info) == 0
                       ? QPair<qint64, qint64>(qint64(info.st_ino), qint64(info.st_mtim.tv_nsec))
                       : QPair<qint64, qint64>(-1, -1);
        };
        const auto before = stamp();
        QVERIFY(before.first >= 0);
        QCOMPARE(cli({QStringLiteral("speak"), QStringLiteral("--voice"),
                      QStringLiteral("English (America) (TTS4.0)"), QStringLiteral("--wav"),
                      QStringLiteral("/dev/null"), QStringLiteral("Still the same list.")})
                     .exitCode,
                 0);
        QCOMPARE(stamp(), before);
    }

    // A voice whose name has capitals (gmw/en-US) is handed to eSpeak NG as its open file: it
    // sounds as eSpeak NG's own program makes it, sample for sample, and so does one in lower case.
    void voicesSoundAsEspeakNgMakesThem_data()
    {
        QTest::addColumn<QString>("voice");
        QTest::addColumn<QString>("espeakVoice");
        QTest::newRow("gmw/en-US") << QStringLiteral("English (America) (TTS4.0)")
                                   << QStringLiteral("gmw/en-US");
        QTest::newRow("roa/pt-BR") << QStringLiteral("Portuguese (Brazil) (TTS4.0)")
                                   << QStringLiteral("roa/pt-BR");
        QTest::newRow("gmw/en") << QStringLiteral("English (Great Britain) (TTS4.0)")
                                << QStringLiteral("gmw/en");
    }

    void voicesSoundAsEspeakNgMakesThem()
    {
        QFETCH(QString, voice);
        QFETCH(QString, espeakVoice);
        const QString text = QStringLiteral("Tomato, route and data, said the voice.");
        QTemporaryDir dir;
        const QString ours = dir.filePath(QStringLiteral("ours.wav"));
        const QString theirs = dir.filePath(QStringLiteral("theirs.wav"));
        QCOMPARE(cli({QStringLiteral("speak"), QStringLiteral("--voice"), voice, QStringLiteral("--wav"),
                      ours, text})
                     .exitCode,
                 0);
        QProcess espeak;
        espeak.start(QStringLiteral("espeak-ng"),
                     {QStringLiteral("-v"), espeakVoice, QStringLiteral("-w"), theirs, text});
        QVERIFY2(espeak.waitForFinished(60000) && espeak.exitCode() == 0,
                 "espeak-ng is installed by scripts/install-deps");
        QFile a(ours), b(theirs);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        const QByteArray samples = a.readAll().mid(44);
        QVERIFY(samples.size() > 22050);
        QVERIFY(samples == b.readAll().mid(44));
    }

    void helpForEachCommand()
    {
        for (const QStringList &args : {QStringList{"--help"}, QStringList{"voices", "--help"},
                                        QStringList{"speak", "--help"}, QStringList{"text", "--help"}}) {
            const Run run = cli(args);
            QCOMPARE(run.exitCode, 0);
            QVERIFY(run.out.startsWith(QLatin1String("Usage: parlanto-cli")));
        }
        QVERIFY(
            cli({QStringLiteral("speak"), QStringLiteral("--help")}).out.contains(QLatin1String("--words")));
        QVERIFY(cli({QStringLiteral("--help")}).out.contains(QLatin1String("\n  text ")));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
