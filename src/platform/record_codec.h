#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// The binary record encoding of the settings files: fields written one after another from
// byte 0, little-endian, no padding. Integer = 2 bytes signed (booleans -1/0), Long = 4 bytes
// signed, String = 2-byte unsigned length n + n bytes in the locale's encoding.

// The longest text a record keeps, in bytes: a path's limit on Linux, far beyond any folder,
// voice name, font or sentence the records hold. A longer text (a voice name handed over by
// another program, say) is cut to it, so that every record stays small.
inline constexpr qsizetype MaxRecordTextBytes = 4096;
// The largest record file read or written. The largest record (the window settings, 14 texts)
// stays under it with every text at its limit; a bigger file is no record of ours.
inline constexpr qint64 MaxRecordFileBytes = 64 * 1024;

class RecordWriter
{
public:
    void writeInteger(int16_t value);
    void writeBoolean(bool value) { writeInteger(value ? -1 : 0); }
    void writeLong(int32_t value);
    // A text longer than MaxRecordTextBytes is cut to it, at a character boundary.
    void writeString(const QString &text);
    const QByteArray &data() const { return m_data; }

private:
    QByteArray m_data;
};

// Reads fields in order. Past the end of the data (a short or damaged file) every field
// reads as zero or empty, never as garbage; a String whose length runs past the end takes
// the bytes that are there.
class RecordReader
{
public:
    explicit RecordReader(QByteArray data) : m_data(std::move(data)) {}
    int16_t readInteger();
    bool readBoolean() { return readInteger() != 0; }
    int32_t readLong();
    QString readString();
    bool atEnd() const { return m_pos >= m_data.size(); }
    bool overran() const { return m_overran; } // some field was (partly) missing

private:
    QByteArray m_data;
    qsizetype m_pos = 0;
    bool m_overran = false;
};

// Writes a record file so that a crash at any moment leaves either the old or the new
// record: the data goes to a part file beside it, which then replaces the old one. Refused
// (false, nothing changed) when the name holds something other than a regular file (a
// folder, a FIFO, a device, a link to one) or the data is larger than MaxRecordFileBytes.
// Never blocks. A record that means nothing after a crash (an address of this running
// process) may skip waiting for the disk, which holds up a start by a millisecond or more.
enum class RecordSync
{
    ToDisk,
    Cached,
};
bool writeRecordFile(const QString &path, const QByteArray &data, RecordSync sync = RecordSync::ToDisk);
// Reads a whole record file through the bounded reader. Nothing when the file is missing,
// unreadable, not a regular file or larger than MaxRecordFileBytes: such a file is no record.
std::optional<QByteArray> readRecordFile(const QString &path);

// Removes the part files a write cut short by a killed process leaves beside the records in
// `folder` (also those of earlier versions, "<record>.ini.XXXXXX"). Only for the process
// that owns the folder.
void removeStaleRecordTemporaries(const QString &folder);
