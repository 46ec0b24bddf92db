// Times loading a 10 MB plain-text file and a 10 MB rich-text file into plain text.
#include "speech/document_reader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr qint64 fileBytes = 10 * 1024 * 1024;

bool writeFile(const QString &path, const QByteArray &head, const QByteArray &line, const QByteArray &tail)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    while (chunk.size() < 64 * 1024)
        chunk += line;
    file.write(head);
    while (file.size() < fileBytes)
        file.write(chunk);
    file.write(tail);
    return file.error() == QFileDevice::NoError;
}

// Returns false when the file could not be read.
bool timeLoad(const char *kind, const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    const DocumentText document = readDocumentFile(path);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (!document.ok) {
        std::fprintf(stderr, "document load 10 MB %s failed: %s\n", kind, qPrintable(document.error));
        return false;
    }
    std::printf("document load 10 MB %s: %.2f s (target < 1 s), %lld characters\n", kind, seconds,
                static_cast<long long>(document.text.size()));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const QString txt = dir.filePath(QStringLiteral("bench.txt"));
    const QString rtf = dir.filePath(QStringLiteral("bench.rtf"));
    const bool written =
        writeFile(txt, QByteArray(), "The quick brown fox jumps over the lazy dog. Grüße, Ваня — 日本語.\n",
                  QByteArray()) &&
        writeFile(rtf,
                  "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman\\fcharset0 Times;}"
                  "{\\f1\\fswiss\\fcharset204 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}\n",
                  "\\pard\\plain\\f0\\fs24 The {\\b quick} brown fox \\emdash  jumps over the "
                  "{\\i lazy} dog. Caf\\'e9 {\\f1 \\'c2\\'e0\\'ed\\'ff} \\u8364? \\{x\\}\\par\n",
                  "}");
    if (!written) {
        std::fprintf(stderr, "cannot write the test files\n");
        return 1;
    }
    const bool ok = timeLoad("txt", txt) && timeLoad("rtf", rtf);
    return ok ? 0 : 1;
}
