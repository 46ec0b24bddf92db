#include "app/ttsmain.h"
#include "tools/updatewin.h"

#include <QLabel>

updatewin *ttsmain::ShowUpdateWindow()
{
    if (!m_updateWindow) {
        updatewin::Links links;
        links.versionCaption = [this] { return Label10->text(); };
        links.UpdateCloseAllowed = &App.UpdateCloseAllowed;
        links.UpdateCancel = &App.UpdateCancel;
        links.endForInstaller = [this] { EndForInstaller(); };
        m_updateWindow = new updatewin(std::move(links), this);
        m_updateWindow->setAttribute(Qt::WA_DeleteOnClose);
        m_updateWindow->Form_Load();
        setUnloadHandler(QStringLiteral("updatewin"), [this] {
            App.UpdateCloseAllowed = true;
            if (m_updateWindow)
                m_updateWindow->close();
        });
    }
    m_updateWindow->show();
    m_updateWindow->raise();
    m_updateWindow->activateWindow();
    return m_updateWindow;
}

void ttsmain::EndForInstaller()
{
    SaveTTSSets();
    SaveWinSets();
    RemoveTrayIcon();
    UnhookMainWindow();
    UnhookTextBox();
    endProcess(0);
}
