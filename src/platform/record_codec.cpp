#include "platform/record_codec.h"

#include "platform/bounded_file.h"
#include "platform/part_file.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The longest start of `text` whose encoding fits in `max` bytes, cut between characters.
QByteArray encodedWithin(const QString &text, qsizetype max)
{
    // Every character takes at least one byte: no more than `max` of them can fit.
    QStringView kept = QStringView(text).left(max);
    if (kept.size() < text.size() && !kept.isEmpty() && kept.back().isHighSurrogate())
        kept.chop(1);
    QByteArray bytes = kept.toLocal8Bit();
    while (bytes.size() > max) {
        // A character is at most four bytes: dropping a quarter of the excess in characters
        // never cuts more than needed, and the loop ends at the longest start that fits.
        kept.chop(std::max<qsizetype>(1, (bytes.size() - max) / 4));
        if (!kept.isEmpty() && kept.back().isHighSurrogate())
            kept.chop(1);
        bytes = kept.toLocal8Bit();
    }
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
    const QByteArray bytes = encodedWithin(text, MaxRecordTextBytes);
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

bool writeRecordFile(const QString &path, const QByteArray &data, RecordSync sync)
{
    // Written by hand rather than with QSaveFile: Qt 6.4's QSaveFile::commit() reports
    // success when its final flush fails (a full disk), and would put a cut record in place.
    if (data.size() > MaxRecordFileBytes)
        return false;
    const QByteArray target = QFile::encodeName(path);
    struct stat existing = {};
    const bool replacing = ::stat(target.constData(), &existing) == 0;
    // A folder, FIFO or device in the record's place is left alone: it is not ours to remove.
    if (replacing && !S_ISREG(existing.st_mode))
        return false;
    const QString partName = PartFile::pathFor(path);
    const QByteArray part = QFile::encodeName(partName);
    ::unlink(part.constData()); // a leftover of an earlier process with this id
    // O_EXCL|O_NOFOLLOW: a name planted meanwhile (a link, a FIFO) fails the open, never blocks it.
    const int fd = ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::fchmod(fd, replacing ? (existing.st_mode & 07777) : 0644);
    bool ok = writeAll(fd, data) && (sync == RecordSync::Cached || ::fsync(fd) == 0);
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(part.constData());
        return false;
    }
    return PartFile::commit(partName, path);
}

std::optional<QByteArray> readRecordFile(const QString &path)
{
    BoundedFile::Result file = BoundedFile::read(path, MaxRecordFileBytes);
    if (!file.ok())
        return std::nullopt;
    return std::move(file.bytes);
}

void removeStaleRecordTemporaries(const QString &folder)
{
    PartFile::removeStale(folder);
    // Earlier versions wrote "<record>.ini.XXXXXX", with the six characters mkostemp chose.
    const auto temporaryName = [](QStringView name) {
        const QLatin1StringView ini(".ini.");
        constexpr qsizetype Random = 6;
        if (name.size() < 1 + ini.size() + Random || name.contains(u'\n') ||
            !name.chopped(Random).endsWith(ini))
            return false;
        for (const QChar c : name.last(Random))
            if (!(c >= u'A' && c <= u'Z') && !(c >= u'a' && c <= u'z') && !(c >= u'0' && c <= u'9'))
                return false;
        return true;
    };
    QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        if (temporaryName(name))
            dir.remove(name);
}
