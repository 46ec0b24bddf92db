#pragma once

#include <QByteArrayView>
#include <QString>

// Parlanto's own reader of Rich Text Format: it keeps the text a reader sees and drops the
// formatting, in the form a rich-text box gives as its plain text:
// - paragraph ends (\par, \sect, \page) and line breaks (\line) are "\n"; the mark that ends the
//   document's last paragraph is not part of the text;
// - \tab is "\t"; a table cell ends with "\t" and a row with "\n" (in place of its last cell's tab);
// - 8-bit text (\'hh and literal bytes) is read in the code page of the current font's character
//   set, else in the document's code page (\ansicpg, \mac, \pc, \pca; Windows-1252 by default),
//   so that the two bytes of a double-byte character (code pages 932, 936, 949, 950) form one
//   character; \uN is a UTF-16 unit (negative N counts from 65536), followed by \ucN fallback
//   characters that are skipped;
// - text that is not shown is left out: font, colour and style tables, document information,
//   pictures, objects, headers and footers, footnotes, field instructions (a field's result is
//   kept), list numbering text, hidden text (\v) and every destination marked \*;
// - an optional hyphen (\-) only marks where a word may break, so it is dropped.
//
// The reader runs in time linear in the input with an explicit stack of groups, so neither size
// nor nesting depth can exhaust the call stack. Damaged or truncated input gives the text read up
// to the damage; reading ends where the outermost group closes.
QString rtfToPlainText(QByteArrayView rtf);

// True when `bytes` begin, after any blanks, with the "{\rtf" that opens rich text.
bool looksLikeRtf(QByteArrayView bytes);
