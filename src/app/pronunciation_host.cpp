#include "app/pronunciation_host.h"

#include "app/ttsmain.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "speech/synth_engine.h"
#include "speech/voice_catalog.h"
#include "tools/PronunciationWindow.h"

#include <QAction>
#include <QComboBox>
#include <QToolButton>

PronunciationVoice currentPronunciationVoice(const ttsmain &main)
{
    PronunciationVoice voice;
    const int generation = main.App.speech.SapiVersion;
    if (generation == VoiceCatalog::Generation4 && main.DirectSS1) {
        const QList<EngineVoice> voices = SynthEngine::espeak().voices();
        const int mode = main.DirectSS1->CurrentMode();
        if (mode < 1 || mode > voices.size())
            return voice;
        voice.engine = &SynthEngine::espeak();
        voice.params = {voices.at(mode - 1).id, main.DirectSS1->Speed(), main.DirectSS1->Pitch()};
        voice.language = voices.at(mode - 1).language;
    } else if (generation == VoiceCatalog::Generation5 && main.NewsVoice1) {
        const QString id = main.NewsVoice1->Voice().Id();
        for (const EngineVoice &v : SynthEngine::flite().voices()) {
            if (v.id != id)
                continue;
            voice.engine = &SynthEngine::flite();
            voice.params = {id, main.NewsVoice1->Rate(), 50};
            voice.language = v.language;
        }
    }
    return voice;
}

PronunciationWindow *showPronunciation(ttsmain &main)
{
    auto *window = main.findChild<PronunciationWindow *>(QString(), Qt::FindDirectChildrenOnly);
    if (!window)
        window = new PronunciationWindow([&main] { return currentPronunciationVoice(main); }, &main);
    if (!window->isVisible()) {
        window->show();
        window->Form_Load();
    }
    window->raise();
    window->activateWindow();
    return window;
}

void addPronunciationEntry(ttsmain &main)
{
    auto *action = new QAction(QStringLiteral("P&ronunciation..."), &main);
    action->setObjectName(QStringLiteral("PronunciationAction"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    action->setShortcutContext(Qt::WindowShortcut);
    action->setToolTip(QStringLiteral("Say names, abbreviations and terms your way"));
    QObject::connect(action, &QAction::triggered, &main, [&main] { showPronunciation(main); });
    main.addAction(action);
    for (QWidget *nearVoices : {static_cast<QWidget *>(main.Command7), static_cast<QWidget *>(main.Combo1)}) {
        nearVoices->addAction(action);
        nearVoices->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
}
