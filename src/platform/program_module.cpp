#include "platform/program_module.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace {

QStringList moduleFolders()
{
    QStringList folders;
    if (QCoreApplication::instance())
        folders.append(QDir(QCoreApplication::applicationDirPath())
                           .filePath(QStringLiteral(PARLANTO_MODULE_DIR_FROM_BIN)));
    folders.append(QStringLiteral(PARLANTO_BUILD_MODULE_DIR));
    return folders;
}

} // namespace

QString programModulePath(const QString &fileName)
{
    for (const QString &folder : moduleFolders())
        if (const QString path = QDir(folder).filePath(fileName); QFileInfo::exists(path))
            return path;
    return {};
}

QFunctionPointer programModuleFunction(const QString &fileName, const char *function)
{
    QString error;
    for (const QString &folder : moduleFolders()) {
        const QString path = QDir(folder).filePath(fileName);
        if (!QFileInfo::exists(path))
            continue;
        QLibrary library(path);
        if (!library.load()) {
            error = library.errorString();
            continue;
        }
        // Loaded for the life of the process: its code stays in use.
        if (const QFunctionPointer found = library.resolve(function))
            return found;
        error = library.errorString();
    }
    qWarning("Parlanto: the library %s cannot be used: %s", qPrintable(fileName),
             qPrintable(error.isEmpty() ? QStringLiteral("not found") : error));
    return nullptr;
}
