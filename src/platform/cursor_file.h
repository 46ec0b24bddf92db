#pragma once

#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>

#include <optional>

// A Windows cursor file (.CUR): its first picture and its hot spot. Qt reads the picture
// (through its ICO/CUR image reader) but not the hot spot, which lives in the file's
// directory entry.
struct CursorFile
{
    QImage image;
    QPoint hotSpot;
};

// Nothing when the file is missing or is not a readable cursor.
std::optional<CursorFile> readCursorFile(const QString &path);
// The cursor of the file, or the standard shape when the file cannot be read.
QCursor loadCursorFile(const QString &path, Qt::CursorShape fallback = Qt::PointingHandCursor);
