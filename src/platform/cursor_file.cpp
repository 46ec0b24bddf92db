#include "platform/cursor_file.h"

#include "platform/bounded_file.h"

#include <QBuffer>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

namespace {

constexpr qint64 MaxCursorFileBytes = 1024 * 1024;
constexpr int DirectoryBytes = 6;
constexpr int EntryBytes = 16;

} // namespace

std::optional<CursorFile> readCursorFile(const QString &path)
{
    BoundedFile::Result file = BoundedFile::read(path, MaxCursorFileBytes);
    if (!file.ok())
        return std::nullopt;
    QByteArray data = std::move(file.bytes);
    if (data.size() < DirectoryBytes + EntryBytes)
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    // Directory: reserved 0, type 2 (cursor), number of pictures.
    if (qFromLittleEndian<quint16>(bytes) != 0 || qFromLittleEndian<quint16>(bytes + 2) != 2 ||
        qFromLittleEndian<quint16>(bytes + 4) == 0)
        return std::nullopt;
    // First entry: width, height, colours, reserved, hot spot x, hot spot y, size, offset.
    const QPoint hotSpot(qFromLittleEndian<quint16>(bytes + DirectoryBytes + 4),
                         qFromLittleEndian<quint16>(bytes + DirectoryBytes + 6));

    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "cur");
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    if (!image.rect().contains(hotSpot))
        return std::nullopt;
    return CursorFile{image, hotSpot};
}

QCursor loadCursorFile(const QString &path, Qt::CursorShape fallback)
{
    const std::optional<CursorFile> cursor = readCursorFile(path);
    if (!cursor)
        return QCursor(fallback);
    return QCursor(QPixmap::fromImage(cursor->image), cursor->hotSpot.x(), cursor->hotSpot.y());
}
