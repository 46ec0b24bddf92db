#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class DirectSS;
class SpObjectToken;

// The single voice list of both engine generations: entry texts, item data and the error
// classes of a voice switch.
namespace VoiceCatalog {

// " (TTS4.0)" / " (TTS5.0)": always this many characters.
constexpr int SuffixLength = 9;
constexpr int Generation4 = 4;
constexpr int Generation5 = 5;

QString suffix(int generation);

// Item data = generation x 100000 + index: the generation digit followed by the index in five
// zero-padded digits (400001 = generation 4, mode 1; 500000 = generation 5, token 0).
int encodeItemData(int generation, int index);
// The leftmost digit of the item data (0 when there is none).
int generationOf(int itemData);
// The rightmost five digits of the item data.
int indexOf(int itemData);

// A list text less its generation suffix; empty when the text is shorter than the suffix.
QString nameWithoutSuffix(const QString &listText);

struct Entry
{
    QString text;
    int itemData = 0;
};

// Generation-4 entries in mode order 1..count.
QList<Entry> generation4Entries(const DirectSS &engine);
QList<Entry> generation4Entries(const QStringList &modeNames);
// Generation-5 entries in token order 0..count-1.
QList<Entry> generation5Entries(const QList<SpObjectToken> &tokens);

// The voice made current when none has been chosen yet (the main window's first start without
// its preferred voice, the CLI without --voice): the list position of the first voice that
// speaks the locale's language (for "de_DE": "de-de", then "de", then any "de-…"), else of US
// English ("en-us"), else 0; -1 for an empty list. `languages` holds each entry's language
// code in list order, empty where a voice has none.
int defaultVoicePosition(const QStringList &languages, const QString &localeName);

// The list positions of the voices a typed name picks, for people who type rather than copy a
// list text: the entry whose text is exactly `typed`; else those whose text, with or without
// its generation suffix, is `typed` in any case; else the first voice of the language `typed`
// is a code of ("en-us", "EN_us"); else every entry that contains `typed` in any case. One
// position is the voice; several are the candidates of an ambiguous name; none, no voice.
// `languages` holds each entry's language code in list order, empty where a voice has none.
QList<int> matchingVoices(const QList<Entry> &entries, const QStringList &languages, const QString &typed);

// Width in pixels of the opened list: the longest entry in characters x 355 / 44, rounded to
// the nearest integer, ties to even.
int dropDownWidth(const QStringList &entryTexts);

// How the voice switch treats an error number.
enum class ErrorClass
{
    Ignored,        // 0, 5, 430, 445: go on with the next step
    DivisionByZero, // 11: an engine range of zero width
    Unusable,       // 0x80004005, 0x80120088, 0x80040206, 429: the engine cannot be used
    Other,
};
ErrorClass classifyError(qint64 number);

// Error numbers the voice switch raises itself, with their descriptions.
constexpr int ErrorInvalidCall = 5;
constexpr int ErrorSubscriptOutOfRange = 9;
constexpr int ErrorDivisionByZero = 11;
constexpr int ErrorObjectMissing = 91;
constexpr int ErrorEngineUnusable = 429;
QString errorDescription(int number);

} // namespace VoiceCatalog
