#include "speech/zip_archive.h"

#include "platform/bounded_file.h"

#include <dlfcn.h>
#include <zip.h>

namespace {

// libzip, opened with the first zip-based document (EPUB, ODT, DOCX) rather than at every start:
// it brings the OpenSSL library with it. Debian's soname is fixed, so it is opened by name.
struct LibZip
{
    decltype(&::zip_discard) discard;
    decltype(&::zip_error_fini) error_fini;
    decltype(&::zip_error_init) error_init;
    decltype(&::zip_error_strerror) error_strerror;
    decltype(&::zip_fclose) fclose;
    decltype(&::zip_file_strerror) file_strerror;
    decltype(&::zip_fopen_index) fopen_index;
    decltype(&::zip_fread) fread;
    decltype(&::zip_get_num_entries) get_num_entries;
    decltype(&::zip_name_locate) name_locate;
    decltype(&::zip_open_from_source) open_from_source;
    decltype(&::zip_source_buffer_create) source_buffer_create;
    decltype(&::zip_source_free) source_free;
    decltype(&::zip_strerror) strerror;
};

template <typename Function> bool resolve(void *handle, Function &slot, const char *name)
{
    slot = reinterpret_cast<Function>(::dlsym(handle, name));
    return slot != nullptr;
}

// Null when libzip cannot be opened.
const LibZip *libzip()
{
    static const LibZip *const library = []() -> const LibZip * {
        void *handle = ::dlopen("libzip.so.4", RTLD_NOW | RTLD_LOCAL);
        static LibZip table;
        const bool complete = handle && resolve(handle, table.discard, "zip_discard") &&
                              resolve(handle, table.error_fini, "zip_error_fini") &&
                              resolve(handle, table.error_init, "zip_error_init") &&
                              resolve(handle, table.error_strerror, "zip_error_strerror") &&
                              resolve(handle, table.fclose, "zip_fclose") &&
                              resolve(handle, table.file_strerror, "zip_file_strerror") &&
                              resolve(handle, table.fopen_index, "zip_fopen_index") &&
                              resolve(handle, table.fread, "zip_fread") &&
                              resolve(handle, table.get_num_entries, "zip_get_num_entries") &&
                              resolve(handle, table.name_locate, "zip_name_locate") &&
                              resolve(handle, table.open_from_source, "zip_open_from_source") &&
                              resolve(handle, table.source_buffer_create, "zip_source_buffer_create") &&
                              resolve(handle, table.source_free, "zip_source_free") &&
                              resolve(handle, table.strerror, "zip_strerror");
        return complete ? &table : nullptr;
    }();
    return library;
}

constexpr qint64 Piece = 64 * 1024;

QString tooBig(qint64 limit)
{
    return QStringLiteral("The document is damaged or too large: it unpacks to more than %1.")
        .arg(BoundedFile::sizeText(limit));
}

} // namespace

std::unique_ptr<ZipArchive> ZipArchive::open(const QByteArray &bytes, QString *error, const Limits &limits)
{
    if (!libzip()) {
        if (error)
            *error = QStringLiteral("Parlanto cannot open this document: libzip is not installed.");
        return nullptr;
    }
    zip_error_t openError;
    libzip()->error_init(&openError);
    zip_source_t *source =
        libzip()->source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &openError);
    zip_t *archive = source ? libzip()->open_from_source(source, ZIP_RDONLY, &openError) : nullptr;
    if (!archive) {
        if (source)
            libzip()->source_free(source);
        if (error)
            *error = QStringLiteral("The file is damaged or is not a document Parlanto knows (%1).")
                         .arg(QString::fromLocal8Bit(libzip()->error_strerror(&openError)));
        libzip()->error_fini(&openError);
        return nullptr;
    }
    libzip()->error_fini(&openError);
    std::unique_ptr<ZipArchive> opened(new ZipArchive(archive, limits));
    if (libzip()->get_num_entries(archive, 0) > limits.entries) {
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
    libzip()->discard(m_zip);
}

qint64 ZipArchive::locate(const QString &name) const
{
    const QByteArray utf8 = name.toUtf8();
    zip_int64_t index = libzip()->name_locate(m_zip, utf8.constData(), 0);
    if (index < 0)
        index = libzip()->name_locate(m_zip, utf8.constData(), ZIP_FL_NOCASE);
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
    zip_file_t *file = libzip()->fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!file) {
        if (error)
            *error = QStringLiteral("The document's part \"%1\" cannot be unpacked (%2).")
                         .arg(name, QString::fromLocal8Bit(libzip()->strerror(m_zip)));
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
    libzip()->fclose(m_file);
}

bool ZipArchive::Entry::readPiece(QByteArray &out)
{
    if (!m_error.isEmpty())
        return false;
    const qsizetype before = out.size();
    out.resize(before + Piece);
    const zip_int64_t got = libzip()->fread(m_file, out.data() + before, zip_uint64_t(Piece));
    out.resize(before + std::max<qsizetype>(got, 0));
    if (got < 0) {
        m_error = QStringLiteral("The document is damaged: its part \"%1\" cannot be unpacked (%2).")
                      .arg(m_name, QString::fromLocal8Bit(libzip()->file_strerror(m_file)));
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
