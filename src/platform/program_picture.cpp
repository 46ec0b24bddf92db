#include "platform/program_picture.h"

#include "platform/bounded_file.h"
#include "platform/program_folder.h"

namespace {
// Far above any picture the program ships (the largest is a few hundred kilobytes).
constexpr qint64 PictureCap = 16 * 1024 * 1024;
} // namespace

QPixmap programPicture(const QString &name)
{
    const BoundedFile::Result file = BoundedFile::read(programFile(name), PictureCap);
    QPixmap picture;
    if (file.ok())
        picture.loadFromData(file.bytes);
    return picture;
}
