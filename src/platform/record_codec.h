#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The binary record encoding of the settings files: fields written one after another from
// byte 0, little-endian, no padding. Integer = 2 bytes signed (booleans -1/0), Long = 4 bytes
// signed, String = 2-byte unsigned length n + n bytes in the locale's encoding.
class RecordWriter
{
public:
    void writeInteger(int16_t value);
    void writeBoolean(bool value) { writeInteger(value ? -1 : 0); }
    void writeLong(int32_t value);
    void writeString(const QString &text); // over-long texts are cut to 65535 bytes
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
// record: the data goes to a temporary file beside it, which then replaces the old one.
bool writeRecordFile(const QString &path, const QByteArray &data);
// Reads a whole record file; empty when missing or unreadable.
QByteArray readRecordFile(const QString &path);

// Removes the temporary files a write cut short by a killed process leaves beside the
// records in `folder` ("<record>.ini.XXXXXX"). Only for the process that owns the folder.
void removeStaleRecordTemporaries(const QString &folder);
