#include "app/wavtomp3_host.h"

#include "app/ttsmain.h"
#include "audio/wavtomp3.h"

wavtomp3 *showWavToMp3(ttsmain &main)
{
    auto *window = main.findChild<wavtomp3 *>(QString(), Qt::FindDirectChildrenOnly);
    if (!window) {
        window = new wavtomp3(main.App.job, &main);
        main.setUnloadHandler(QStringLiteral("wavtomp3"), [window] { window->close(); });
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}
