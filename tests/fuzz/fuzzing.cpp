#include "fuzz/fuzzing.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <zip.h>

#include <cstdlib>

namespace FuzzSupport {

Fixture::Book smallBook()
{
    Fixture::Book book = Fixture::sampleBook();
    for (Fixture::Block &block : book.blocks)
        if (block.text.size() > 200)
            block.text = block.text.left(block.text.indexOf(u' ', 150)) + u'.';
    return book;
}

QList<QPair<QString, QByteArray>> zipEntries(const QByteArray &zip)
{
    QList<QPair<QString, QByteArray>> entries;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(zip.constData(), zip_uint64_t(zip.size()), 0, &error);
    zip_t *archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) {
        if (source)
            zip_source_free(source);
        return entries;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_file_t *file = zip_fopen_index(archive, zip_uint64_t(i), 0);
        if (!file)
            continue;
        QByteArray content;
        char buffer[65536];
        for (zip_int64_t got; (got = zip_fread(file, buffer, sizeof buffer)) > 0;)
            content.append(buffer, qsizetype(got));
        zip_fclose(file);
        entries.append({QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), 0)), content});
    }
    zip_discard(archive);
    return entries;
}

QByteArray storedZip(const QList<QPair<QString, QByteArray>> &entries)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(buffer);
    zip_t *archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(buffer);
        return QByteArray();
    }
    for (const auto &[name, content] : entries) {
        zip_source_t *source =
            zip_source_buffer(archive, content.constData(), zip_uint64_t(content.size()), 0);
        const zip_int64_t index = zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
            zip_source_free(source);
        else
            zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    QByteArray bytes;
    if (zip_close(archive) == 0 && zip_source_open(buffer) == 0) {
        char piece[65536];
        for (zip_int64_t got; (got = zip_source_read(buffer, piece, sizeof piece)) > 0;)
            bytes.append(piece, qsizetype(got));
        zip_source_close(buffer);
    } else {
        zip_discard(archive);
    }
    zip_source_free(buffer);
    return bytes;
}

QList<QByteArray> containerSeeds(const QByteArray &zip)
{
    QList<QByteArray> seeds = {QByteArray(1, char(0xFF)) + zip};
    const auto entries = zipEntries(zip);
    for (qsizetype i = 0; i < entries.size(); ++i)
        seeds.append(QByteArray(1, char(i)) + entries[i].second);
    return seeds;
}

QByteArray containerInput(const QList<QPair<QString, QByteArray>> &entries, const uint8_t *data, size_t size)
{
    if (size == 0)
        return QByteArray();
    const QByteArray rest(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    if (data[0] == 0xFF || entries.isEmpty())
        return rest;
    auto replaced = entries;
    replaced[data[0] % entries.size()].second = rest;
    return storedZip(replaced);
}

QList<QByteArray> xmlWords()
{
    return {"<",          ">",          "</",
            "/>",         "<!--",       "-->",
            "<![CDATA[",  "]]>",        "<!DOCTYPE x [<!ENTITY e \"&e;&e;\">]>",
            "&amp;",      "&nbsp;",     "&#0;",
            "&#x10FFFF;", "xmlns=\"\"", "=\"",
            "\"",         "'",          "<?xml version=\"1.0\"?>"};
}

} // namespace FuzzSupport

// libFuzzer's set-up: an application for Qt's fonts, and the seeds written where asked.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    const QString folder = qEnvironmentVariable("PARLANTO_FUZZ_SEEDS");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        const QList<QByteArray> seeds = fuzzSeeds();
        for (qsizetype i = 0; i < seeds.size(); ++i) {
            QFile file(QDir(folder).filePath(QStringLiteral("seed-%1").arg(i)));
            if (file.open(QIODevice::WriteOnly))
                file.write(seeds[i]);
        }
    }
    return 0;
}
