#include "platform/program_picture.h"

#include "platform/bounded_file.h"
#include "platform/program_folder.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

namespace {
// Far above any picture the program ships (the largest is a few hundred kilobytes).
constexpr qint64 PictureCap = 16 * 1024 * 1024;
} // namespace

QPixmap programPicture(const QString &name)
{
    const BoundedFile::Result file = BoundedFile::read(programFile(name), PictureCap);
    if (!file.ok())
        return QPixmap();
    // The format is taken from the name, not sniffed: asking every image plugin whether it can
    // read the file would load them all, which costs the start-up time.
    QBuffer buffer;
    buffer.setData(file.bytes);
    QImageReader reader(&buffer, QFileInfo(name).suffix().toLower().toLatin1());
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}
