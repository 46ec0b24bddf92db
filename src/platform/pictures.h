#pragma once

#include <QImage>
#include <QString>

// Reads a picture of a known format ("PNG", "BMP"): the format is not sniffed, so Qt does not
// load every image plugin to ask each whether it can read the file. A null image when the
// file cannot be read.
QImage readPicture(const QString &file, const char *format);
