#include "app/settings_records.h"

#include "platform/record_codec.h"

namespace {

// A file that cannot be a record (missing, a folder, a FIFO, endless or too large) counts as
// absent, so the caller builds the defaults.
template <typename Record>
std::optional<Record> loadRecord(const QString &path, Record (*decode)(const QByteArray &))
{
    const std::optional<QByteArray> data = readRecordFile(path);
    if (!data)
        return std::nullopt;
    return decode(*data);
}

// Each record's fields are listed once and walked by a writer or a reader, so the two
// directions cannot drift apart. The order is the on-disk order; do not reorder.
struct FieldWriter
{
    RecordWriter w;
    void longValue(const int32_t &v) { w.writeLong(v); }
    void boolean(const bool &v) { w.writeBoolean(v); }
    void text(const QString &v) { w.writeString(v); }
};

struct FieldReader
{
    RecordReader r;
    void longValue(int32_t &v) { v = r.readLong(); }
    void boolean(bool &v) { v = r.readBoolean(); }
    void text(QString &v) { v = r.readString(); }
};

template <typename Io, typename Speech> void speechFields(Io &io, Speech &s)
{
    io.longValue(s.SapiVersion);
    io.longValue(s.CurrentEngineIndex);
    io.text(s.CurrentVoiceName);
    io.longValue(s.RatePosition);
    io.longValue(s.PitchPosition);
}

template <typename Io, typename Window> void windowFields(Io &io, Window &s)
{
    io.longValue(s.WindowState);
    io.boolean(s.Visible);
    io.longValue(s.Left);
    io.longValue(s.Top);
    io.longValue(s.Width);
    io.longValue(s.Height);
    io.text(s.OpenFolder);
    io.text(s.SaveFolder);
    io.text(s.OpenFileType);
    io.text(s.SaveFileType);
    io.boolean(s.TextBoxShown);
    io.longValue(s.TextBoxHeight);
    io.text(s.FontName);
    io.text(s.FontBold);
    io.boolean(s.FontItalic);
    io.text(s.FontSize);
    io.boolean(s.FontUnderline);
    io.boolean(s.FontStrikethrough);
    io.longValue(s.FontCharset);
    io.longValue(s.TextColour);
    io.longValue(s.BackColour);
    io.boolean(s.WatchClipboard);
    io.text(s.BatchDrive);
    io.text(s.BatchSourceFolder);
    io.text(s.BatchTargetFolder);
    io.text(s.WordListFolder);
    io.longValue(s.SlideDelay);
    io.longValue(s.SlideFullWindow);
    io.longValue(s.SlideRandom);
    io.longValue(s.SlideBackColour);
    io.text(s.SlideFontName);
    io.text(s.SlideBold);
    io.boolean(s.SlideItalic);
    io.text(s.SlideSize);
    io.boolean(s.SlideUnderline);
    io.boolean(s.SlideStrikethrough);
    io.longValue(s.SlideCharset);
    io.longValue(s.SlideTextColour);
}

} // namespace

QByteArray encode(const SpeechSettings &s)
{
    FieldWriter io;
    speechFields(io, s);
    return io.w.data();
}

SpeechSettings decodeSpeechSettings(const QByteArray &data)
{
    FieldReader io{RecordReader(data)};
    SpeechSettings s;
    speechFields(io, s);
    return s;
}

QByteArray encode(const WindowSettings &s)
{
    FieldWriter io;
    windowFields(io, s);
    return io.w.data();
}

WindowSettings decodeWindowSettings(const QByteArray &data)
{
    FieldReader io{RecordReader(data)};
    WindowSettings s;
    windowFields(io, s);
    return s;
}

QByteArray encodeVoiceHandOff(const QString &listText, int generation)
{
    RecordWriter w;
    w.writeString(listText);
    w.writeString(QString::number(generation));
    return w.data();
}

VoiceHandOff decodeVoiceHandOff(const QByteArray &data)
{
    RecordReader r(data);
    VoiceHandOff v;
    v.listText = r.readString();
    v.generation = r.readString();
    return v;
}

std::optional<SpeechSettings> loadSpeechSettings(const QString &path)
{
    return loadRecord(path, &decodeSpeechSettings);
}

std::optional<WindowSettings> loadWindowSettings(const QString &path)
{
    return loadRecord(path, &decodeWindowSettings);
}

std::optional<VoiceHandOff> loadVoiceHandOff(const QString &path)
{
    return loadRecord(path, &decodeVoiceHandOff);
}

bool saveSpeechSettings(const QString &path, const SpeechSettings &settings)
{
    return writeRecordFile(path, encode(settings));
}

bool saveWindowSettings(const QString &path, const WindowSettings &settings)
{
    return writeRecordFile(path, encode(settings));
}

bool saveVoiceHandOff(const QString &path, const QString &listText, int generation)
{
    return writeRecordFile(path, encodeVoiceHandOff(listText, generation));
}

LocaleFontDefaults localeFontDefaults(int localeId)
{
    // The names are built from their code points so that the source stays plain ASCII.
    switch (localeId) {
    case 1042: // Korean
        return {QString::fromUtf16(u"\uAD74\uB9BC"), 129, QStringLiteral("9")};
    case 1028: // Chinese, Taiwan
        return {QString::fromUtf16(u"\u65B0\u7D30\u660E\u9AD4"), 136, QStringLiteral("9")};
    case 1041: // Japanese
        return {QString::fromUtf16(u"\uFF2D\uFF33\u0020\uFF30\u30B4\u30B7\u30C3\u30AF"), 128,
                QStringLiteral("9")};
    case 2052: // Chinese, PRC
        return {QString::fromUtf16(u"\u5B8B\u4F53"), 134, QStringLiteral("9")};
    default:
        return {QString(), 1, QStringLiteral("8")};
    }
}

WindowSettings defaultWindowSettings(int localeId, const QString &programFolder,
                                     const WindowDefaultsFromWindow &window)
{
    WindowSettings s;
    s.WindowState = 2;
    s.Visible = true;
    s.Left = window.left;
    s.Top = window.top;
    s.Width = window.width;
    s.Height = window.height;
    s.OpenFolder = programFolder;
    s.SaveFolder = programFolder;
    s.OpenFileType = QStringLiteral(".txt");
    s.SaveFileType = QStringLiteral(".mp3");
    s.TextBoxShown = true;
    s.TextBoxHeight = 0; // always taken from the window when saving

    const LocaleFontDefaults locale = localeFontDefaults(localeId);
    s.FontName = locale.fontName;
    s.FontBold = booleanText(window.textBoxFont.bold());
    s.FontItalic = window.textBoxFont.italic();
    s.FontSize = locale.size;
    s.FontUnderline = window.textBoxFont.underline();
    s.FontStrikethrough = window.textBoxFont.strikeOut();
    s.FontCharset = locale.charset;
    s.TextColour = 0;
    s.BackColour = 16777215;
    s.WatchClipboard = true;

    s.BatchDrive = QStringLiteral("c:");
    s.BatchSourceFolder = QStringLiteral("c:\\");
    s.BatchTargetFolder = QStringLiteral("c:\\");
    s.WordListFolder = QStringLiteral("c:\\");

    s.SlideDelay = 2;
    s.SlideFullWindow = 0;
    s.SlideRandom = 0;
    s.SlideBackColour = colourToLong(window.slideBackColour);
    s.SlideFontName = window.slideFont.family();
    s.SlideBold = booleanText(window.slideFont.bold());
    s.SlideItalic = window.slideFont.italic();
    s.SlideSize = pointSizeText(window.slideFont.pointSizeF());
    s.SlideUnderline = window.slideFont.underline();
    s.SlideStrikethrough = window.slideFont.strikeOut();
    s.SlideCharset = window.slideCharset;
    s.SlideTextColour = colourToLong(window.slideTextColour);
    return s;
}

int32_t colourToLong(const QColor &colour)
{
    const QColor rgb = colour.isValid() ? colour.toRgb() : QColor(Qt::black);
    return int32_t(rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16));
}

QColor colourFromLong(int32_t value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

QString booleanText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool booleanFromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    bool isNumber = false;
    const double number = trimmed.toDouble(&isNumber);
    return isNumber && number != 0.0;
}

QString pointSizeText(double points)
{
    if (points <= 0)
        return QString();
    return QString::number(points, 'g', 6);
}

double pointSizeFromText(const QString &text)
{
    bool ok = false;
    const double points = text.trimmed().toDouble(&ok);
    return ok && points > 0 ? points : 0.0;
}
