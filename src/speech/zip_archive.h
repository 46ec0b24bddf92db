#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

struct zip;
struct zip_file;

// How much a zip archive may hold.
struct ZipLimits
{
    qint64 entries = 20000;
    qint64 entryBytes = qint64(256) * 1024 * 1024; // unpacked, one entry
    qint64 totalBytes = qint64(512) * 1024 * 1024; // unpacked, every entry read together
};

// A zip archive held in memory (the container of EPUB, ODT and DOCX files), read through
// libzip with bounds that a hostile file cannot pass: a limit on the number of entries, on the
// unpacked size of one entry and on the unpacked bytes read from the whole archive, counted
// as they are unpacked, whatever sizes the archive claims (zip bombs).
class ZipArchive
{
public:
    using Limits = ZipLimits;

    // Opens the archive in `bytes`, which must outlive it; empty with `error` set when the
    // bytes are no zip archive, a damaged one, or one with more entries than the limit.
    static std::unique_ptr<ZipArchive> open(const QByteArray &bytes, QString *error,
                                            const Limits &limits = {});
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    bool contains(const QString &name) const;

    // One entry being unpacked, piece after piece.
    class Entry
    {
    public:
        ~Entry();
        Entry(const Entry &) = delete;
        Entry &operator=(const Entry &) = delete;
        // Appends the next piece to `out`; false at the end of the entry or on an error
        // (see error()).
        bool readPiece(QByteArray &out);
        const QString &error() const { return m_error; }

    private:
        friend class ZipArchive;
        Entry(ZipArchive &archive, zip_file *file, const QString &name);
        ZipArchive &m_archive;
        zip_file *m_file;
        QString m_name;
        qint64 m_read = 0;
        QString m_error;
    };

    // Opens the entry `name` (exact, else in any case); empty with `error` set when it is
    // missing or cannot be unpacked (encrypted, an unknown method).
    std::unique_ptr<Entry> openEntry(const QString &name, QString *error);

    // The whole entry `name`; empty with `error` set as above, or when it is damaged or passes
    // a bound.
    std::optional<QByteArray> read(const QString &name, QString *error);

private:
    ZipArchive(zip *archive, const Limits &limits);
    qint64 locate(const QString &name) const;

    zip *m_zip;
    Limits m_limits;
    qint64 m_unpacked = 0; // bytes unpacked from every entry so far
};
