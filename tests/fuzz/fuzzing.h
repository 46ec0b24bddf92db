#pragma once

#include "support/document_fixtures.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <cstddef>
#include <cstdint>

// What each fuzz target gives its driver: the inputs mutations start from (made from the
// test fixtures, never downloaded) and words of its format worth splicing in. The driver is
// either Parlanto's own mutation loop (fuzz_driver.cpp, run by ctest for a few seconds) or
// clang's libFuzzer (PARLANTO_FUZZ_ENGINE=libfuzzer), which calls the same entry point; there
// PARLANTO_FUZZ_SEEDS=folder writes the seeds into that folder first, for use as the corpus.
QList<QByteArray> fuzzSeeds();
QList<QByteArray> fuzzDictionary();
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace FuzzSupport {

// The sample book with short paragraphs: small seeds mutate to more of a format's corners.
Fixture::Book smallBook();

// The entries of a zip archive, in order.
QList<QPair<QString, QByteArray>> zipEntries(const QByteArray &zip);
// A zip archive of the entries, made in memory, nothing compressed.
QByteArray storedZip(const QList<QPair<QString, QByteArray>> &entries);

// Seeds for a container format: the whole file (first byte 0xFF) and each of its entries
// alone (first byte its index), and the input those seeds stand for: the whole file, or the
// file with one entry replaced.
QList<QByteArray> containerSeeds(const QByteArray &zip);
QByteArray containerInput(const QList<QPair<QString, QByteArray>> &entries, const uint8_t *data, size_t size);

// Words of XML documents.
QList<QByteArray> xmlWords();

} // namespace FuzzSupport
