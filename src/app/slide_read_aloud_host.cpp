#include "app/slide_read_aloud_host.h"

#include "app/ttsmain.h"
#include "speech/directss.h"
#include "speech/spvoice.h"

#include <QLabel>

SlideReadAloudHost slideReadAloudHost(ttsmain &main)
{
    SlideReadAloudHost host;
    host.SapiVersion = [&main] { return int(main.App.speech.SapiVersion); };
    host.VoiceSayTime = [&main] { return main.VoiceSayTime.get(); };
    host.TextToSpeech1 = [&main] { return main.TextToSpeech1.get(); };
    host.loadSettings = [&main] { return slideSettingsOf(main.App.window, main.Label15->font()); };
    host.saveSettings = [&main](const SlideSettings &settings) {
        storeSlideSettings(settings, main.App.window);
    };
    return host;
}

SlideReadAloud *showSlideReadAloud(ttsmain &main)
{
    auto *window = main.findChild<SlideReadAloud *>(QString(), Qt::FindDirectChildrenOnly);
    if (!window) {
        window = new SlideReadAloud(slideReadAloudHost(main), &main);
        main.setUnloadHandler(QStringLiteral("SlideReadAloud"), [window] { window->close(); });
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

SlideSettings slideSettingsOf(const WindowSettings &record, const QFont &base)
{
    SlideSettings settings;
    settings.WordFolder = record.WordListFolder;
    settings.Delay = record.SlideDelay;
    settings.FullWindow = record.SlideFullWindow != 0;
    settings.Random = record.SlideRandom != 0;
    settings.BackColour = colourFromLong(record.SlideBackColour);
    QFont font(base);
    if (!record.SlideFontName.isEmpty())
        font.setFamily(record.SlideFontName);
    if (const double points = pointSizeFromText(record.SlideSize); points > 0)
        font.setPointSizeF(points);
    font.setBold(booleanFromText(record.SlideBold));
    font.setItalic(record.SlideItalic);
    font.setUnderline(record.SlideUnderline);
    font.setStrikeOut(record.SlideStrikethrough);
    settings.WordFont = font;
    settings.Charset = record.SlideCharset;
    settings.WordColour = colourFromLong(record.SlideTextColour);
    return settings;
}

void storeSlideSettings(const SlideSettings &settings, WindowSettings &record)
{
    record.WordListFolder = settings.WordFolder;
    record.SlideDelay = settings.Delay;
    record.SlideFullWindow = settings.FullWindow ? 1 : 0;
    record.SlideRandom = settings.Random ? 1 : 0;
    record.SlideBackColour = colourToLong(settings.BackColour);
    record.SlideFontName = settings.WordFont.family();
    record.SlideBold = booleanText(settings.WordFont.bold());
    record.SlideItalic = settings.WordFont.italic();
    record.SlideSize = pointSizeText(settings.WordFont.pointSizeF());
    record.SlideUnderline = settings.WordFont.underline();
    record.SlideStrikethrough = settings.WordFont.strikeOut();
    record.SlideCharset = settings.Charset;
    record.SlideTextColour = colourToLong(settings.WordColour);
}
