#include "speech/zip_archive.h"

#include "platform/bounded_file.h"

#include <zip.h>

namespace {

constexpr qint64 Piece = 64 * 1024;

QString tooBig(qint64 limit)
{
    return QStringLiteral("The document is damaged or too large: it unpacks to more than %1.")
        .arg(BoundedFile::sizeText(limit));
}

} // namespace

std::unique_ptr<ZipArchive> ZipArchive::open(const QByteArray &bytes, QString *error, const Limits &limits)
{
    zip_error_t openError;
    zip_error_init(&openError);
    zip_source_t *source =
        zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &openError);
    zip_t *archive = source ? zip_open_from_source(source, ZIP_RDONLY, &openError) : nullptr;
    if (!archive) {
        if (source)
            zip_source_free(source);
        if (error)
            *error = QStringLiteral("The file is damaged or is not a document Parlanto knows (%1).")
                         .arg(QString::fromLocal8Bit(zip_error_strerror(&openError)));
        zip_error_fini(&openError);
        return nullptr;
    }
    zip_error_fini(&openError);
    std::unique_ptr<ZipArchive> opened(new ZipArchive(archive, limits));
    if (zip_get_num_entries(archive, 0) > limits.entries) {
        if (error)
            *error = QStringLiteral("The document is damaged: its archive holds more than %1 files.")
                         .arg(limits.entries);
        return nullptr;
    }
    return opened;
}

ZipArchive::ZipArchive(zip *archive, const Limits &limits) : m_zip(archive), m_limits(limits) {}

ZipArchive::~ZipArchive()
{
    zip_discard(m_zip);
}

qint64 ZipArchive::locate(const QString &name) const
{
    const QByteArray utf8 = name.toUtf8();
    zip_int64_t index = zip_name_locate(m_zip, utf8.constData(), 0);
    if (index < 0)
        index = zip_name_locate(m_zip, utf8.constData(), ZIP_FL_NOCASE);
    return index;
}

bool ZipArchive::contains(const QString &name) const
{
    return locate(name) >= 0;
}

std::unique_ptr<ZipArchive::Entry> ZipArchive::openEntry(const QString &name, QString *error)
{
    const qint64 index = locate(name);
    if (index < 0) {
        if (error)
            *error = QStringLiteral("The document is damaged: \"%1\" is missing from it.").arg(name);
        return nullptr;
    }
    zip_file_t *file = zip_fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!file) {
        if (error)
            *error = QStringLiteral("The document's part \"%1\" cannot be unpacked (%2).")
                         .arg(name, QString::fromLocal8Bit(zip_strerror(m_zip)));
        return nullptr;
    }
    return std::unique_ptr<Entry>(new Entry(*this, file, name));
}

std::optional<QByteArray> ZipArchive::read(const QString &name, QString *error)
{
    const std::unique_ptr<Entry> entry = openEntry(name, error);
    if (!entry)
        return std::nullopt;
    QByteArray content;
    while (entry->readPiece(content)) {
    }
    if (!entry->error().isEmpty()) {
        if (error)
            *error = entry->error();
        return std::nullopt;
    }
    return content;
}

ZipArchive::Entry::Entry(ZipArchive &archive, zip_file *file, const QString &name)
    : m_archive(archive), m_file(file), m_name(name)
{}

ZipArchive::Entry::~Entry()
{
    zip_fclose(m_file);
}

bool ZipArchive::Entry::readPiece(QByteArray &out)
{
    if (!m_error.isEmpty())
        return false;
    const qsizetype before = out.size();
    out.resize(before + Piece);
    const zip_int64_t got = zip_fread(m_file, out.data() + before, zip_uint64_t(Piece));
    out.resize(before + std::max<qsizetype>(got, 0));
    if (got < 0) {
        m_error = QStringLiteral("The document is damaged: its part \"%1\" cannot be unpacked (%2).")
                      .arg(m_name, QString::fromLocal8Bit(zip_file_strerror(m_file)));
        return false;
    }
    m_read += got;
    m_archive.m_unpacked += got;
    const Limits &limits = m_archive.m_limits;
    if (m_read > limits.entryBytes || m_archive.m_unpacked > limits.totalBytes) {
        m_error = tooBig(m_read > limits.entryBytes ? limits.entryBytes : limits.totalBytes);
        out.resize(before);
        return false;
    }
    return got > 0;
}
