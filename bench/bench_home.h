#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Everything a benchmark sets before its application object exists: the offscreen platform,
// silent sound as fast as possible (unless PARLANTO_AUDIO already says otherwise), a private
// program folder and cache in `home`, and an instance name of its own, so a benchmark never
// touches the user's settings nor talks to a running Parlanto.
inline void useBenchHome(const QTemporaryDir &home, const char *instance)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("PARLANTO_AUDIO"))
        qputenv("PARLANTO_AUDIO", "fast");
    qputenv("PARLANTO_HOME", home.path().toLocal8Bit());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toLocal8Bit());
    qputenv("PARLANTO_INSTANCE", instance);
}
