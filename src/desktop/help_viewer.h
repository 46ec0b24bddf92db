#pragma once

#include <QUrl>
#include <QWidget>

class QPushButton;
class QTextBrowser;

// Whether a link of the help page `page` (both absolute) leads to more of Parlanto's own help:
// a place in the same page, or another HTML page in the same folder. Those are shown in the help
// viewer; every other link is handed to the desktop.
bool isHelpLink(const QUrl &page, const QUrl &link);

// Parlanto's own help page, shown inside Parlanto so that no browser is needed: links within the
// help are followed here, others go to the desktop's program for them. One window at a time,
// created when first shown; it deletes itself when closed.
class HelpViewer final : public QWidget
{
    Q_OBJECT
public:
    // Shows the HTML file `page` in the help viewer, not modal. A page that is not there is
    // reported in a message that names it, and no window opens (nullptr).
    static HelpViewer *showPage(QWidget *owner, const QString &page);
    // The open help viewer, or nullptr.
    static HelpViewer *window();
    // Closes the help viewer if it is open.
    static void unloadWindow();

    // What a click on a link of the page shown does.
    void Browser_AnchorClicked(const QUrl &link);

    QTextBrowser *Browser = nullptr;
    QPushButton *Command1 = nullptr; // "&Back"
    QPushButton *Command2 = nullptr; // "&Close"

private:
    HelpViewer();
};
