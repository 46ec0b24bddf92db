#include "platform/registry.h"

#include "platform/program_folder.h"

#include <QSettings>

namespace {

// QSettings separates groups with '/'; Windows key paths use '\'. A value without a name is
// the key's default value.
QString settingsKey(const QString &key, const QString &name)
{
    QString path = key;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path + QLatin1Char('/') + (name.isEmpty() ? QStringLiteral("Default") : name);
}

QString registryPath()
{
    return programFile(QStringLiteral("registry.ini"));
}

} // namespace

QVariant Registry::value(const QString &key, const QString &name, const QVariant &fallback)
{
    QSettings settings(registryPath(), QSettings::IniFormat);
    return settings.value(settingsKey(key, name), fallback);
}

void Registry::setValue(const QString &key, const QString &name, const QVariant &value)
{
    QSettings settings(registryPath(), QSettings::IniFormat);
    settings.setValue(settingsKey(key, name), value);
    settings.sync();
}

void Registry::remove(const QString &key, const QString &name)
{
    QSettings settings(registryPath(), QSettings::IniFormat);
    settings.remove(settingsKey(key, name));
    settings.sync();
}

bool Registry::keyExists(const QString &key)
{
    QSettings settings(registryPath(), QSettings::IniFormat);
    QString group = key;
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (group.endsWith(QLatin1Char('/')))
        group.chop(1);
    if (group.isEmpty())
        return false;
    settings.beginGroup(group);
    return !settings.childKeys().isEmpty() || !settings.childGroups().isEmpty();
}
