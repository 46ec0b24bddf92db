#include "platform/registry.h"

#include "platform/bounded_file.h"
#include "platform/program_folder.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryFile>

#include <functional>

namespace {

// registry.ini holds a handful of values; anything larger is not ours to parse.
constexpr qint64 RegistryFileCap = 1024 * 1024;

// QSettings separates groups with '/'; Windows key paths use '\'.
QString groupOf(const QString &key)
{
    QString group = key;
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (group.endsWith(QLatin1Char('/')))
        group.chop(1);
    return group;
}

// A value without a name is the key's default value.
QString settingsKey(const QString &key, const QString &name)
{
    return groupOf(key) + QLatin1Char('/') + (name.isEmpty() ? QStringLiteral("Default") : name);
}

QString registryPath()
{
    return programFile(QStringLiteral("registry.ini"));
}

// Every value this process has written (an invalid value for one it removed), by registry file.
// The file may be unwritable (a full or read-only folder) or not a file at all; what this process
// wrote must still read back, above all the end of a recording that a job is waiting for.
struct WrittenValues
{
    QMutex mutex;
    QHash<QString, QHash<QString, QVariant>> byFile;
};

WrittenValues &written()
{
    static WrittenValues values;
    return values;
}

// Runs `use` on the values of registry.ini through a private copy of it, so that the file itself
// is only ever read by the bounded reader: a FIFO, device or folder in its place is never opened
// and never blocks. A missing file reads as empty. With `store`, the changed copy then replaces
// the file (only a regular file or none). False when the file could not be read or replaced.
bool withRegistryFile(const std::function<void(QSettings &)> &use, bool store)
{
    const QString path = registryPath();
    QByteArray bytes;
    switch (BoundedFile::probe(path)) {
    case BoundedFile::Outcome::Missing:
        break;
    case BoundedFile::Outcome::Ok: {
        const BoundedFile::Result read = BoundedFile::read(path, RegistryFileCap);
        if (!read.ok())
            return false;
        bytes = read.bytes;
        break;
    }
    default:
        return false;
    }

    QTemporaryFile copy;
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush())
        return false;
    copy.close();
    {
        QSettings settings(copy.fileName(), QSettings::IniFormat);
        use(settings);
        if (!store)
            return true;
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return false;
    }
    // QSettings has replaced the copy with a new file of that name: read it by name.
    QFile written(copy.fileName());
    if (!written.open(QIODevice::ReadOnly))
        return false;
    const QByteArray changed = written.readAll();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(changed) != changed.size())
        return false;
    return file.commit();
}

} // namespace

QVariant Registry::value(const QString &key, const QString &name, const QVariant &fallback)
{
    const QString full = settingsKey(key, name);
    {
        WrittenValues &values = written();
        const QMutexLocker locker(&values.mutex);
        const auto file = values.byFile.constFind(registryPath());
        if (file != values.byFile.cend() && file->contains(full)) {
            const QVariant value = file->value(full);
            return value.isValid() ? value : fallback;
        }
    }
    QVariant value = fallback;
    withRegistryFile([&](QSettings &settings) { value = settings.value(full, fallback); }, false);
    return value;
}

void Registry::setValue(const QString &key, const QString &name, const QVariant &value)
{
    const QString full = settingsKey(key, name);
    {
        WrittenValues &values = written();
        const QMutexLocker locker(&values.mutex);
        values.byFile[registryPath()].insert(full, value);
    }
    withRegistryFile([&](QSettings &settings) { settings.setValue(full, value); }, true);
}

void Registry::remove(const QString &key, const QString &name)
{
    const QString full = settingsKey(key, name);
    {
        WrittenValues &values = written();
        const QMutexLocker locker(&values.mutex);
        values.byFile[registryPath()].insert(full, QVariant());
    }
    withRegistryFile([&](QSettings &settings) { settings.remove(full); }, true);
}

bool Registry::keyExists(const QString &key)
{
    const QString group = groupOf(key);
    if (group.isEmpty())
        return false;
    {
        WrittenValues &values = written();
        const QMutexLocker locker(&values.mutex);
        const auto file = values.byFile.constFind(registryPath());
        if (file != values.byFile.cend()) {
            const QString prefix = group + QLatin1Char('/');
            for (auto value = file->cbegin(); value != file->cend(); ++value)
                if (value.value().isValid() && value.key().startsWith(prefix))
                    return true;
        }
    }
    bool exists = false;
    withRegistryFile(
        [&](QSettings &settings) {
            settings.beginGroup(group);
            exists = !settings.childKeys().isEmpty() || !settings.childGroups().isEmpty();
        },
        false);
    return exists;
}
