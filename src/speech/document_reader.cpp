#include "speech/document_reader.h"

#include "platform/bounded_file.h"
#include "speech/rtf_reader.h"
#include "speech/text_decoder.h"

#include <QFileInfo>

namespace {

DocumentText failure(const QString &reason)
{
    return {false, QString(), reason};
}

} // namespace

DocumentText readDocumentFile(const QString &path)
{
    const BoundedFile::Result file = BoundedFile::read(path, largestDocumentBytes);
    if (!file.ok())
        return failure(file.error);
    const QByteArray &bytes = file.bytes;

    // A ".rtf" name whose content opens a group is rich text even with a damaged header; one
    // holding no rich text at all (a plain file renamed) is read as the plain text it is.
    const bool rtfName = QFileInfo(path).suffix().compare(QLatin1String("rtf"), Qt::CaseInsensitive) == 0;
    if (looksLikeRtf(bytes) || (rtfName && QByteArrayView(bytes).trimmed().startsWith('{')))
        return {true, rtfToPlainText(bytes), QString()};
    return {true, TextDecoding::decodePlainText(bytes), QString()};
}
