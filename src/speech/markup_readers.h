#pragma once

#include <QByteArray>

class DocumentBuilder;
struct XhtmlReading;

// What libparlanto_markup offers through its one exported function: the web page and Markdown
// readers, which need Qt Gui's text document.
struct MarkupReaders
{
    void (*readHtml)(const QByteArray &bytes, DocumentBuilder &builder, const XhtmlReading &how);
    void (*readMarkdown)(const QByteArray &bytes, DocumentBuilder &builder);
};

#define PARLANTO_MARKUP_MODULE_ENTRY "parlanto_markup_readers"
using MarkupReadersEntry = const MarkupReaders *(*)();
