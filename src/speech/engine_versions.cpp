#include "speech/engine_versions.h"

#include "speech/espeak_library.h"
#include "speech/flite_library.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <flite_version.h>

QString espeakVersion()
{
    // Only reads the library's version text; no synthesis state is touched.
    const EspeakLibrary *espeak = EspeakLibrary::get();
    const char *version = espeak ? espeak->info(nullptr) : nullptr;
    return version ? QString::fromLatin1(version).section(QLatin1Char(' '), 0, 0) : QString();
}

QString fliteVersion()
{
    // libflite has no version call: the loaded library's file name carries it
    // ("libflite.so.2.2"); the headers' version stands in when that cannot be found.
    if (const char *loaded = FliteLibrary::fileName(); *loaded) {
        const QString file =
            QFileInfo(QFileInfo(QString::fromLocal8Bit(loaded)).canonicalFilePath()).fileName();
        static const QRegularExpression soVersion(QStringLiteral("\\.so\\.(\\d+(?:\\.\\d+)+)$"));
        const QRegularExpressionMatch match = soVersion.match(file);
        if (match.hasMatch())
            return match.captured(1);
    }
    return QStringLiteral(FLITE_PROJECT_VERSION);
}
