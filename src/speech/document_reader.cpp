#include "speech/document_reader.h"

#include "speech/rtf_reader.h"
#include "speech/text_decoder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

DocumentText failure(const QString &reason)
{
    return {false, QString(), reason};
}

} // namespace

DocumentText readDocumentFile(const QString &path)
{
    if (path.isEmpty())
        return failure(QStringLiteral("No file name was given."));
    const QString shownName = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists())
        return failure(QStringLiteral("The file \"%1\" does not exist.").arg(shownName));
    if (info.isDir())
        return failure(QStringLiteral("\"%1\" is a folder, not a file.").arg(shownName));
    if (!info.isFile()) // a device or a pipe: reading it might never end
        return failure(QStringLiteral("\"%1\" is not a regular file.").arg(shownName));
    if (info.size() > largestDocumentBytes)
        return failure(QStringLiteral("The file \"%1\" is too large to open (%2 MB; at most %3 MB).")
                           .arg(shownName)
                           .arg(info.size() / (1024 * 1024))
                           .arg(largestDocumentBytes / (1024 * 1024)));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(
            QStringLiteral("The file \"%1\" cannot be read: %2.").arg(shownName, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return failure(
            QStringLiteral("The file \"%1\" cannot be read: %2.").arg(shownName, file.errorString()));

    // A ".rtf" name whose content opens a group is rich text even with a damaged header; one
    // holding no rich text at all (a plain file renamed) is read as the plain text it is.
    const bool rtfName = info.suffix().compare(QLatin1String("rtf"), Qt::CaseInsensitive) == 0;
    if (looksLikeRtf(bytes) || (rtfName && QByteArrayView(bytes).trimmed().startsWith('{')))
        return {true, rtfToPlainText(bytes), QString()};
    return {true, TextDecoding::decodePlainText(bytes), QString()};
}
