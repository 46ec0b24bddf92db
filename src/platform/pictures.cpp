#include "platform/pictures.h"

#include <QImageReader>

QImage readPicture(const QString &file, const char *format)
{
    QImageReader reader(file, format);
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}
