#pragma once

#include <QString>

// The rules behind the tray icon: its fixed-length tip, what a left click does to the main
// window, and where a window brought back from the tray may stand. Window states are numbered
// as the window settings record numbers them: 0 normal, 1 minimised, 2 maximised.

// The tip is kept at a fixed length: longer text is cut, shorter text padded with blanks.
inline constexpr int TrayTipLength = 64;
QString fixedTrayTip(const QString &text);
// The tip as it is shown: without the padding.
QString shownTrayTip(const QString &fixedTip);

// What a left click on the tray icon does, by the window's state and visibility.
enum class TrayLeftClick
{
    Hide,            // shown normal or maximised: hide it
    RestoreInPlace,  // shown minimised: back to the state before the last window command
    ShowNormal,      // hidden normal: show it normal, then check its placement
    ShowStateBefore, // hidden minimised: show it in the state before the last window command
    ShowMaximised,   // hidden maximised: show it maximised
};
TrayLeftClick trayLeftClick(int windowState, bool visible);

// A window of 2400 twips' width or less, or 360 twips' height or less, is too small to use and
// comes back maximised.
bool tooSmallToRestore(int widthTwips, int heightTwips);

// Where a hidden normal window may come back, all in twips except the screen height.
struct TrayPlacement
{
    int left = 0;
    int top = 0;
    bool maximise = false;

    bool operator==(const TrayPlacement &) const = default;
};
// Off-screen edges come back to 0; a window too small to use is maximised; a window whose left
// or top edge lies beyond the limit for the screen's height goes to the top-left corner.
TrayPlacement trayPlacementCheck(int left, int top, int width, int height, int screenHeightPixels);
