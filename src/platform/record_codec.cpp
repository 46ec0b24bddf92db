#include "platform/record_codec.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtEndian>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype MaxStringBytes = 65535;
// The largest record (38 fields, every String at its limit) is under 3 MB; reading more
// of a damaged file would only waste memory.
constexpr qint64 MaxRecordFileBytes = 4 * 1024 * 1024;

// Cuts text to at most max bytes without splitting a UTF-8 sequence.
QByteArray cutToBytes(QByteArray bytes, qsizetype max)
{
    if (bytes.size() <= max)
        return bytes;
    qsizetype cut = max;
    while (cut > 0 && (static_cast<unsigned char>(bytes.at(cut)) & 0xC0) == 0x80)
        --cut;
    bytes.truncate(cut);
    return bytes;
}

bool writeAll(int fd, const QByteArray &data)
{
    const char *next = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        left -= written;
    }
    return true;
}

} // namespace

void RecordWriter::writeInteger(int16_t value)
{
    char bytes[2];
    qToLittleEndian<qint16>(value, bytes);
    m_data.append(bytes, 2);
}

void RecordWriter::writeLong(int32_t value)
{
    char bytes[4];
    qToLittleEndian<qint32>(value, bytes);
    m_data.append(bytes, 4);
}

void RecordWriter::writeString(const QString &text)
{
    const QByteArray bytes = cutToBytes(text.toLocal8Bit(), MaxStringBytes);
    char length[2];
    qToLittleEndian<quint16>(static_cast<quint16>(bytes.size()), length);
    m_data.append(length, 2);
    m_data.append(bytes);
}

int16_t RecordReader::readInteger()
{
    if (m_data.size() - m_pos < 2) {
        m_overran = true;
        m_pos = m_data.size();
        return 0;
    }
    const int16_t value = qFromLittleEndian<qint16>(m_data.constData() + m_pos);
    m_pos += 2;
    return value;
}

int32_t RecordReader::readLong()
{
    if (m_data.size() - m_pos < 4) {
        m_overran = true;
        m_pos = m_data.size();
        return 0;
    }
    const int32_t value = qFromLittleEndian<qint32>(m_data.constData() + m_pos);
    m_pos += 4;
    return value;
}

QString RecordReader::readString()
{
    if (m_data.size() - m_pos < 2) {
        m_overran = true;
        m_pos = m_data.size();
        return {};
    }
    const qsizetype length = qFromLittleEndian<quint16>(m_data.constData() + m_pos);
    m_pos += 2;
    const qsizetype available = m_data.size() - m_pos;
    const qsizetype taken = qMin(length, available);
    if (taken < length)
        m_overran = true;
    const QString text = QString::fromLocal8Bit(m_data.constData() + m_pos, taken);
    m_pos += taken;
    return text;
}

bool writeRecordFile(const QString &path, const QByteArray &data)
{
    // Written by hand rather than with QSaveFile: Qt 6.4's QSaveFile::commit() reports
    // success when its final flush fails (a full disk), and would put a cut record in place.
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat existing = {};
    ::fchmod(fd, ::stat(target.constData(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);
    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.constData(), target.constData()) == 0;
    if (!ok)
        ::unlink(temporary.constData());
    return ok;
}

QByteArray readRecordFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(MaxRecordFileBytes);
}

void removeStaleRecordTemporaries(const QString &folder)
{
    // The six characters mkostemp puts in place of XXXXXX.
    static const QRegularExpression temporaryName(QStringLiteral("^.+\\.ini\\.[A-Za-z0-9]{6}$"));
    QDir dir(folder);
    for (const QString &name : dir.entryList({QStringLiteral("*.ini.*")}, QDir::Files | QDir::Hidden))
        if (temporaryName.match(name).hasMatch())
            dir.remove(name);
}
