#include "app/tray_rules.h"

#include "platform/twips.h"

#include <algorithm>

QString fixedTrayTip(const QString &text)
{
    return text.left(TrayTipLength).leftJustified(TrayTipLength, QLatin1Char(' '));
}

QString shownTrayTip(const QString &fixedTip)
{
    qsizetype end = fixedTip.size();
    while (end > 0 && fixedTip.at(end - 1) == QLatin1Char(' '))
        --end;
    return fixedTip.left(end);
}

TrayLeftClick trayLeftClick(int windowState, bool visible)
{
    switch (windowState) {
    case 1:
        return visible ? TrayLeftClick::RestoreInPlace : TrayLeftClick::ShowStateBefore;
    case 2:
        return visible ? TrayLeftClick::Hide : TrayLeftClick::ShowMaximised;
    default:
        return visible ? TrayLeftClick::Hide : TrayLeftClick::ShowNormal;
    }
}

bool tooSmallToRestore(int widthTwips, int heightTwips)
{
    return widthTwips <= 2400 || heightTwips <= 360;
}

TrayPlacement trayPlacementCheck(int left, int top, int width, int height, int screenHeightPixels)
{
    TrayPlacement placement{std::max(0, left), std::max(0, top), tooSmallToRestore(width, height)};
    // Beyond these edges (in pixels) a window would be mostly off a screen of that height.
    int leftLimit = 900;
    int topLimit = 700;
    if (screenHeightPixels == 480) {
        leftLimit = 518;
        topLimit = 410;
    } else if (screenHeightPixels == 600) {
        leftLimit = 678;
        topLimit = 532;
    }
    if (placement.left > pixelsToTwips(leftLimit) || placement.top > pixelsToTwips(topLimit)) {
        placement.left = 0;
        placement.top = 0;
    }
    return placement;
}
