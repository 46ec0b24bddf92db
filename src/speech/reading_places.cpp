#include "speech/reading_places.h"

#include "platform/bounded_file.h"
#include "platform/part_file.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace {

const QByteArray FirstLine = "Parlanto reading places 1";

} // namespace

std::optional<QPair<qint64, qint64>> fileIdentity(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    return QPair<qint64, qint64>(info.size(), info.lastModified().toMSecsSinceEpoch());
}

ReadingPlaces::ReadingPlaces(const QString &file) : m_file(file)
{
    const BoundedFile::Result read = BoundedFile::read(file, LargestFile);
    if (read.ok())
        m_places = decode(read.bytes);
}

std::optional<ReadingPlace> ReadingPlaces::find(const QString &path) const
{
    const auto identity = fileIdentity(path);
    if (!identity)
        return std::nullopt;
    for (const ReadingPlace &place : m_places)
        if (place.path == path)
            return place.size == identity->first && place.modified == identity->second && place.position > 0
                       ? std::optional<ReadingPlace>(place)
                       : std::nullopt;
    return std::nullopt;
}

void ReadingPlaces::remember(const QString &path, qint64 position, qint64 length)
{
    m_places.removeIf([&](const ReadingPlace &place) { return place.path == path; });
    const auto identity = fileIdentity(path);
    if (!identity || position <= 0 || path.contains(u'\n') || path.contains(u'\r'))
        return;
    m_places.prepend({path, identity->first, identity->second, position, length});
    while (m_places.size() > MostDocuments)
        m_places.removeLast();
}

bool ReadingPlaces::save(QString *error) const
{
    const QString part = PartFile::pathFor(m_file);
    QFile file(part);
    const QByteArray bytes = encode(m_places);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
        !file.flush()) {
        if (error)
            *error = file.errorString();
        file.close();
        QFile::remove(part);
        return false;
    }
    file.close();
    return PartFile::commit(part, m_file, error);
}

QByteArray ReadingPlaces::encode(const QList<ReadingPlace> &places)
{
    QByteArray bytes = FirstLine + '\n';
    for (const ReadingPlace &place : places)
        bytes += QByteArray::number(place.position) + '\t' + QByteArray::number(place.length) + '\t' +
                 QByteArray::number(place.size) + '\t' + QByteArray::number(place.modified) + '\t' +
                 place.path.toUtf8() + '\n';
    return bytes;
}

QList<ReadingPlace> ReadingPlaces::decode(const QByteArray &bytes)
{
    QList<ReadingPlace> places;
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.isEmpty() || lines.first() != FirstLine)
        return places;
    for (qsizetype i = 1; i < lines.size() && places.size() < MostDocuments; ++i) {
        const QByteArray &line = lines.at(i);
        // Four numbers, then the path, which may itself hold tabs.
        QList<qint64> numbers;
        qsizetype at = 0;
        bool ok = true;
        while (ok && numbers.size() < 4) {
            const qsizetype tab = line.indexOf('\t', at);
            if (tab < 0) {
                ok = false;
                break;
            }
            numbers.append(line.mid(at, tab - at).toLongLong(&ok));
            at = tab + 1;
        }
        const QString path = QString::fromUtf8(line.mid(at));
        if (!ok || path.isEmpty() || numbers.at(0) <= 0 || numbers.at(1) < 0 || numbers.at(2) < 0)
            continue;
        if (std::any_of(places.cbegin(), places.cend(),
                        [&](const ReadingPlace &p) { return p.path == path; }))
            continue;
        places.append({path, numbers.at(2), numbers.at(3), numbers.at(0), numbers.at(1)});
    }
    return places;
}
