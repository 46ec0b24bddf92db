#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QString>

#include <cstdint>
#include <optional>

// The settings record files in the program folder. Each holds one record of fields written
// one after another (see platform/record_codec.h).
inline constexpr char SpeechSettingsFileName[] = "stts.ini";
inline constexpr char WindowSettingsFileName[] = "swin.ini";
inline constexpr char VoiceHandOffFileName[] = "IEVoiceName.ini";

// The current voice with the rate and pitch bar positions.
struct SpeechSettings
{
    // Field order is the on-disk order of stts.ini; append only, do not reorder.
    int32_t SapiVersion = 0;        // Long: generation of the current voice, 4 or 5 (0: none)
    int32_t CurrentEngineIndex = 0; // Long: index of the voice within its generation
    QString CurrentVoiceName;       // String: voice list text without " (TTS4.0)" / " (TTS5.0)"
    int32_t RatePosition = 0;       // Long: rate bar VScroll2, 0..100
    int32_t PitchPosition = 0;      // Long: pitch bar VScroll3, 0..100

    bool operator==(const SpeechSettings &) const = default;
};

// Window placement, text font and colours, and the choices of the other windows. Lengths and
// positions in twips; colours are 24-bit RGB in a Long, red in the low byte.
struct WindowSettings
{
    // Field order is the on-disk order of swin.ini; append only, do not reorder.
    int32_t WindowState = 2;         // Long: 0 normal, 1 minimised, 2 maximised
    bool Visible = true;             // Integer
    int32_t Left = 0;                // Long
    int32_t Top = 0;                 // Long
    int32_t Width = 0;               // Long
    int32_t Height = 0;              // Long
    QString OpenFolder;              // String: folder last used to open a document
    QString SaveFolder;              // String: folder last used to save
    QString OpenFileType;            // String: e.g. ".txt"
    QString SaveFileType;            // String: e.g. ".mp3"
    bool TextBoxShown = true;        // Integer
    int32_t TextBoxHeight = 0;       // Long
    QString FontName;                // String
    QString FontBold;                // String: "True" or "False"
    bool FontItalic = false;         // Integer
    QString FontSize;                // String: points as decimal text
    bool FontUnderline = false;      // Integer
    bool FontStrikethrough = false;  // Integer
    int32_t FontCharset = 1;         // Long
    int32_t TextColour = 0;          // Long
    int32_t BackColour = 16777215;   // Long
    bool WatchClipboard = true;      // Integer
    QString BatchDrive;              // String: e.g. "c:"
    QString BatchSourceFolder;       // String: e.g. "c:\"
    QString BatchTargetFolder;       // String
    QString WordListFolder;          // String: folder of the slide reader's word lists
    int32_t SlideDelay = 2;          // Long: delay slider value
    int32_t SlideFullWindow = 0;     // Long: check box value (0 or 1)
    int32_t SlideRandom = 0;         // Long: check box value (0 or 1)
    int32_t SlideBackColour = 0;     // Long
    QString SlideFontName;           // String
    QString SlideBold;               // String: "True" or "False"
    bool SlideItalic = false;        // Integer
    QString SlideSize;               // String: points as decimal text
    bool SlideUnderline = false;     // Integer
    bool SlideStrikethrough = false; // Integer
    int32_t SlideCharset = 1;        // Long
    int32_t SlideTextColour = 0;     // Long

    bool operator==(const WindowSettings &) const = default;
};

// The record of "IEVoiceName.ini", read by the browser add-in.
struct VoiceHandOff
{
    // Field order is the on-disk order of IEVoiceName.ini; do not reorder.
    QString listText;   // String: the voice's list text, name and suffix
    QString generation; // String: "4" or "5"

    bool operator==(const VoiceHandOff &) const = default;
};

// Encoding and tolerant decoding: a short or damaged record leaves the fields past its data
// zero, false or empty; bytes past the last field are ignored.
QByteArray encode(const SpeechSettings &settings);
QByteArray encode(const WindowSettings &settings);
SpeechSettings decodeSpeechSettings(const QByteArray &data);
WindowSettings decodeWindowSettings(const QByteArray &data);
QByteArray encodeVoiceHandOff(const QString &listText, int generation);
VoiceHandOff decodeVoiceHandOff(const QByteArray &data);

// Reading returns nothing when the file is missing or cannot be a record (a folder, a FIFO,
// an endless or oversized file; the caller builds the defaults); a file that is present but
// damaged decodes as far as its data goes. Writing replaces the file
// whole or leaves the old one; false when it could not be written.
std::optional<SpeechSettings> loadSpeechSettings(const QString &path);
std::optional<WindowSettings> loadWindowSettings(const QString &path);
bool saveSpeechSettings(const QString &path, const SpeechSettings &settings);
bool saveWindowSettings(const QString &path, const WindowSettings &settings);
std::optional<VoiceHandOff> loadVoiceHandOff(const QString &path);
bool saveVoiceHandOff(const QString &path, const QString &listText, int generation);

// The text box font by the user's default locale: the font name (empty outside the four
// East-Asian locales), its character set and the point size as text.
struct LocaleFontDefaults
{
    QString fontName;
    int32_t charset = 1;
    QString size;
};
LocaleFontDefaults localeFontDefaults(int localeId);

// What only the main window and the slide reader's Label15 can tell about the defaults.
struct WindowDefaultsFromWindow
{
    int32_t left = 0; // the main window as designed, in twips
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    QFont textBoxFont;        // bold, italic, underline and strikethrough are copied
    QFont slideFont;          // Label15's font
    QColor slideBackColour;   // Label15's back colour
    QColor slideTextColour;   // Label15's text colour
    int32_t slideCharset = 1; // Label15's character set
};

// Every default of the window record: fixed values, the locale font and size, the program
// folder for the open and save folders, and what the window supplies. The batch and word-list
// folders stay Windows text ("c:", "c:\"); the batch window maps them.
WindowSettings defaultWindowSettings(int localeId, const QString &programFolder,
                                     const WindowDefaultsFromWindow &window);

// Conversions between the record's forms and Qt's.
int32_t colourToLong(const QColor &colour); // red in the low byte
QColor colourFromLong(int32_t value);
QString booleanText(bool value);               // "True" / "False"
bool booleanFromText(const QString &text);     // "True" in any case, or a non-zero number
QString pointSizeText(double points);          // 9 -> "9", 8.25 -> "8.25"
double pointSizeFromText(const QString &text); // 0 when not a number
