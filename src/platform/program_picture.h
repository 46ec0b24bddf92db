#pragma once

#include <QPixmap>
#include <QString>

// A picture from the program folder, read through the bounded reader: the folder is the user's
// to change, and a FIFO or an endless file under a picture's name must not block the window
// thread or fill the memory. A missing, special, oversized or undecodable file gives a null
// pixmap, which every caller already shows as an empty picture.
QPixmap programPicture(const QString &name);
