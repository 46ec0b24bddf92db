#include "audio/BatchText2Sound.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>

// The batch window's rules: the names of each entry's files and the folders that remembered
// places stand for.

namespace {

bool isDriveText(const QString &text)
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:$"));
    return drive.match(text.trimmed()).hasMatch();
}

bool isDriveRootText(const QString &text)
{
    static const QRegularExpression root(QStringLiteral("^[A-Za-z]:\\\\$"));
    return root.match(text.trimmed()).hasMatch();
}

} // namespace

namespace BatchNames {

QString driveOfRemembered(const QString &remembered)
{
    return isDriveText(remembered) || remembered.trimmed().isEmpty() ? QStringLiteral("/") : remembered;
}

QString folderOfRemembered(const QString &remembered)
{
    return isDriveRootText(remembered) || remembered.trimmed().isEmpty() ? QDir::homePath() : remembered;
}

QString folderForDrive(const QString &driveRoot, const QString &rememberedFolder)
{
    const QFileInfo folder(folderOfRemembered(rememberedFolder));
    if (folder.isDir() && QStorageInfo(folder.absoluteFilePath()).rootPath() == driveRoot)
        return folder.absoluteFilePath();
    return driveRoot;
}

QString baseOf(const QString &entry)
{
    return entry.chopped(qMin<qsizetype>(3, entry.size()));
}

QString withSlash(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString sourceFile(const QString &sourceFolder, const QString &entry)
{
    return withSlash(sourceFolder) + entry;
}

QString wavTemp(const QString &scratch, const QString &entry)
{
    return withSlash(scratch) + baseOf(entry) + QStringLiteral("wav");
}

QString mp3Temp(const QString &scratch, const QString &entry)
{
    return withSlash(scratch) + baseOf(entry) + QStringLiteral("mp3");
}

QString finalMp3(const QString &targetFolder, const QString &entry)
{
    return withSlash(targetFolder.trimmed()) + baseOf(entry) + QStringLiteral("mp3");
}

QString wavTarget(const QString &targetFolder, const QString &entry)
{
    return withSlash(targetFolder.trimmed()) + baseOf(entry) + QStringLiteral("wav");
}

QString completeMessage(const QStringList &failures)
{
    QString text = QStringLiteral("Converting is complete");
    if (!failures.isEmpty())
        text +=
            QStringLiteral("\n\nThese files could not be converted:\n") + failures.join(QLatin1Char('\n'));
    return text;
}

} // namespace BatchNames
