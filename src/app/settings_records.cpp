#include "app/settings_records.h"

#include "platform/record_codec.h"

#include <QFileInfo>

namespace {

template <typename Record>
std::optional<Record> loadRecord(const QString &path, Record (*decode)(const QByteArray &))
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return decode(readRecordFile(path));
}

} // namespace

QByteArray encode(const SpeechSettings &s)
{
    RecordWriter w;
    w.writeLong(s.SapiVersion);
    w.writeLong(s.CurrentEngineIndex);
    w.writeString(s.CurrentVoiceName);
    w.writeLong(s.RatePosition);
    w.writeLong(s.PitchPosition);
    return w.data();
}

SpeechSettings decodeSpeechSettings(const QByteArray &data)
{
    RecordReader r(data);
    SpeechSettings s;
    s.SapiVersion = r.readLong();
    s.CurrentEngineIndex = r.readLong();
    s.CurrentVoiceName = r.readString();
    s.RatePosition = r.readLong();
    s.PitchPosition = r.readLong();
    return s;
}

QByteArray encode(const WindowSettings &s)
{
    RecordWriter w;
    w.writeLong(s.WindowState);
    w.writeBoolean(s.Visible);
    w.writeLong(s.Left);
    w.writeLong(s.Top);
    w.writeLong(s.Width);
    w.writeLong(s.Height);
    w.writeString(s.OpenFolder);
    w.writeString(s.SaveFolder);
    w.writeString(s.OpenFileType);
    w.writeString(s.SaveFileType);
    w.writeBoolean(s.TextBoxShown);
    w.writeLong(s.TextBoxHeight);
    w.writeString(s.FontName);
    w.writeString(s.FontBold);
    w.writeBoolean(s.FontItalic);
    w.writeString(s.FontSize);
    w.writeBoolean(s.FontUnderline);
    w.writeBoolean(s.FontStrikethrough);
    w.writeLong(s.FontCharset);
    w.writeLong(s.TextColour);
    w.writeLong(s.BackColour);
    w.writeBoolean(s.WatchClipboard);
    w.writeString(s.BatchDrive);
    w.writeString(s.BatchSourceFolder);
    w.writeString(s.BatchTargetFolder);
    w.writeString(s.WordListFolder);
    w.writeLong(s.SlideDelay);
    w.writeLong(s.SlideFullWindow);
    w.writeLong(s.SlideRandom);
    w.writeLong(s.SlideBackColour);
    w.writeString(s.SlideFontName);
    w.writeString(s.SlideBold);
    w.writeBoolean(s.SlideItalic);
    w.writeString(s.SlideSize);
    w.writeBoolean(s.SlideUnderline);
    w.writeBoolean(s.SlideStrikethrough);
    w.writeLong(s.SlideCharset);
    w.writeLong(s.SlideTextColour);
    return w.data();
}

WindowSettings decodeWindowSettings(const QByteArray &data)
{
    RecordReader r(data);
    WindowSettings s;
    s.WindowState = r.readLong();
    s.Visible = r.readBoolean();
    s.Left = r.readLong();
    s.Top = r.readLong();
    s.Width = r.readLong();
    s.Height = r.readLong();
    s.OpenFolder = r.readString();
    s.SaveFolder = r.readString();
    s.OpenFileType = r.readString();
    s.SaveFileType = r.readString();
    s.TextBoxShown = r.readBoolean();
    s.TextBoxHeight = r.readLong();
    s.FontName = r.readString();
    s.FontBold = r.readString();
    s.FontItalic = r.readBoolean();
    s.FontSize = r.readString();
    s.FontUnderline = r.readBoolean();
    s.FontStrikethrough = r.readBoolean();
    s.FontCharset = r.readLong();
    s.TextColour = r.readLong();
    s.BackColour = r.readLong();
    s.WatchClipboard = r.readBoolean();
    s.BatchDrive = r.readString();
    s.BatchSourceFolder = r.readString();
    s.BatchTargetFolder = r.readString();
    s.WordListFolder = r.readString();
    s.SlideDelay = r.readLong();
    s.SlideFullWindow = r.readLong();
    s.SlideRandom = r.readLong();
    s.SlideBackColour = r.readLong();
    s.SlideFontName = r.readString();
    s.SlideBold = r.readString();
    s.SlideItalic = r.readBoolean();
    s.SlideSize = r.readString();
    s.SlideUnderline = r.readBoolean();
    s.SlideStrikethrough = r.readBoolean();
    s.SlideCharset = r.readLong();
    s.SlideTextColour = r.readLong();
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
