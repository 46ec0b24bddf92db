#include "app/batch_text2sound_host.h"

#include "app/ttsmain.h"
#include "speech/directss.h"
#include "speech/spvoice.h"

#include <QComboBox>
#include <QLabel>

BatchText2SoundHost batchText2SoundHost(ttsmain &main)
{
    BatchText2SoundHost host;
    host.SapiVersion = [&main] { return int(main.App.speech.SapiVersion); };
    host.voiceListText = [&main] { return main.Combo1->currentText(); };
    host.speedCaption = [&main] { return main.Label5->text(); };
    host.speed = [&main] { return main.DirectSS1 ? main.DirectSS1->Speed() : 0; };
    host.pitch = [&main] { return main.DirectSS1 ? main.DirectSS1->Pitch() : 0; };
    host.NewsVoice1 = [&main] { return main.NewsVoice1.get(); };
    host.WaveVoice1 = [&main] { return main.WaveVoice1.get(); };
    host.loadPlaces = [&main] {
        return BatchPlaces{main.App.window.BatchDrive, main.App.window.BatchSourceFolder,
                           main.App.window.BatchTargetFolder};
    };
    host.savePlaces = [&main](const BatchPlaces &places) {
        main.App.window.BatchDrive = places.Drive;
        main.App.window.BatchSourceFolder = places.SourceFolder;
        main.App.window.BatchTargetFolder = places.TargetFolder;
    };
    return host;
}

BatchText2Sound *showBatchText2Sound(ttsmain &main)
{
    auto *window = main.findChild<BatchText2Sound *>(QString(), Qt::FindDirectChildrenOnly);
    if (!window) {
        window = new BatchText2Sound(batchText2SoundHost(main), main.App.job, &main);
        main.setUnloadHandler(QStringLiteral("BatchText2Sound"), [window] {
            window->Command4_Click();
            window->close();
        });
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}
