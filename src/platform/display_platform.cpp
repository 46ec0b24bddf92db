#include "platform/display_platform.h"

#include <QtGlobal>

DisplayEnvironment DisplayEnvironment::current(const QStringList &arguments)
{
    return {qEnvironmentVariable("QT_QPA_PLATFORM"), qEnvironmentVariable("WAYLAND_DISPLAY"),
            qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("XDG_SESSION_TYPE"), arguments};
}

QString preferredDisplayPlatform(const DisplayEnvironment &environment)
{
    if (!environment.qpaPlatform.isEmpty() || environment.arguments.contains(QLatin1String("-platform")) ||
        environment.arguments.contains(QLatin1String("--platform")))
        return QString();
    const bool wayland = !environment.waylandDisplay.isEmpty() ||
                         environment.sessionType.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
    if (wayland && !environment.x11Display.isEmpty())
        return QStringLiteral("xcb");
    return QString();
}

QString choosePreferredDisplayPlatform(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString platform = preferredDisplayPlatform(DisplayEnvironment::current(arguments));
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform.toUtf8());
    return platform;
}

void forgetPreferredDisplayPlatform(const QString &chosen)
{
    if (!chosen.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");
}
