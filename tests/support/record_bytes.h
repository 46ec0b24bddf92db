#pragma once

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QString>

// Expected record bytes, put together field by field with QDataStream rather than with the
// record writer: Integer = 2 bytes, Long = 4 bytes, String = 2-byte length + bytes in the
// locale's encoding, all little-endian.
class RecordBytes
{
public:
    RecordBytes() : m_stream(&m_data, QIODevice::WriteOnly)
    {
        m_stream.setByteOrder(QDataStream::LittleEndian);
    }
    RecordBytes &integer(qint16 value)
    {
        m_stream << value;
        return *this;
    }
    RecordBytes &boolean(bool value) { return integer(value ? -1 : 0); }
    RecordBytes &longValue(qint32 value)
    {
        m_stream << value;
        return *this;
    }
    RecordBytes &string(const QString &text)
    {
        const QByteArray bytes = text.toLocal8Bit();
        m_stream << quint16(bytes.size());
        m_stream.writeRawData(bytes.constData(), int(bytes.size()));
        return *this;
    }
    QByteArray data() const { return m_data; }

private:
    QByteArray m_data;
    QDataStream m_stream;
};
