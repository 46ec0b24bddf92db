#pragma once

#include <QByteArray>

// Converts 16-bit mono PCM from one sample rate to another with cubic (Catmull-Rom)
// interpolation; good enough to bring 8 and 16 kHz voices up to the common 22050 Hz.
QByteArray resamplePcm16(const short *samples, int count, int fromRate, int toRate);
