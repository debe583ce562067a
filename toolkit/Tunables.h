// Every constant of the toolkit in one place, each with its unit. Colours are raw RGB565 pixels
// of the display surfaces; times are milliseconds of the tick count; velocities are pixels per
// 100 ms; distances are screen pixels.
#pragma once

#include "wintypes.h"

namespace tunables {

// --- Colours (RGB565 pixels) -------------------------------------------------------------------
inline constexpr DWORD backgroundColour = 0xEF5D; // light grey; every erase fills with it
inline constexpr DWORD scrollBarColour = 0xA515;  // the scroll-bar overlay

// --- Design space -------------------------------------------------------------------------------
inline constexpr int designWidthPx = 480; // the toolkit is laid out for screens this wide
inline constexpr int scrollBarWidthPx = 6;

// --- Gestures (MotionTracker) -------------------------------------------------------------------
inline constexpr int velocitySampleCount = 3;        // ring of the latest samples per axis
inline constexpr double minMoveIntervalMs = 1.0;     // moves closer together are ignored
inline constexpr int tapSlopPx = 30;                 // per axis, from where the finger went down
inline constexpr double swipeMinMeanVelocity = 50.0; // px / 100 ms, mean of the x samples
inline constexpr int swipeMinTravelPx = 50;          // rightwards from the press
inline constexpr int swipeMaxDriftPx = 30;           // vertical travel allowed during a swipe
inline constexpr int swipeMinSamples = 5;            // the mean needs a full ring and more
inline constexpr double velocityFactor = 100.0;      // px / ms -> px / 100 ms
inline constexpr double verticalSampleLimit = 500.0; // px / 100 ms, both directions
inline constexpr double doubleTapWindowMs = 350.0;   // between two completed taps
inline constexpr int flingMinSamples = 3;
inline constexpr int flingMinVelocitySum = 10;  // px / 100 ms, two latest vertical samples
inline constexpr double flingMaxRestMs = 300.0; // finger must have moved this recently
inline constexpr double minStepIntervalMs = 2.0;
inline constexpr double flingLatestWeight = 2.0; // the latest sample counts twice ...
inline constexpr double flingWeightSum = 3.0;    // ... against the one before
inline constexpr double stepScale = 0.01;        // px / 100 ms x ms -> px
inline constexpr double flingStepLimitPx = 120.0;
inline constexpr double flingDecayPxPerMs = 0.01; // taken off every step, per ms of fling

// --- Motion timer (on the main window) ----------------------------------------------------------
inline constexpr UINT_PTR motionTimerId = 1;
inline constexpr UINT motionTimerPeriodMs = 30;

// --- Display frame ------------------------------------------------------------------------------
inline constexpr UINT redrawRequestMessage = 0x0410; // WM_USER + 16: redraw without erasing
inline constexpr DWORD fullScreenFlags = 0x2 | 0x8;  // SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON
inline constexpr LONG_PTR raiseOwnedWindowsBit = 1;  // SetForegroundWindow(hwnd | 1)

// --- Resources ----------------------------------------------------------------------------------
inline constexpr size_t pathTailChars = 20;              // file names shown in captions
inline constexpr int placeholderImagePx = 4;             // side of the stand-in for a missing image
inline constexpr DWORD installMarkValue = 0x33333333;    // low half of the double 1.2
inline constexpr DWORD installMarkHighHalf = 0x3FF33333; // high half of the double 1.2
inline constexpr double installedVersion = 1.2;

// --- MyLabel ------------------------------------------------------------------------------------
inline constexpr int labelLargePoints = 10;   // fontLarge
inline constexpr int labelNormalPoints = 9;   // fontNormal and fontItalic
inline constexpr int labelSmallPoints = 7;    // fontSmall
inline constexpr int pointsPerInch = 72;      // font heights: -(points x LOGPIXELSY) / 72
inline constexpr BYTE labelFontQuality = 5;   // CLEARTYPE_QUALITY
inline constexpr BYTE labelFontPrecision = 6; // output precision
inline constexpr BYTE labelFontPitchAndFamily = 0x12;
inline constexpr BYTE labelFontCharSet = 1;               // DEFAULT_CHARSET
inline constexpr int labelTextPaddingPx = 5;              // added to the measured text width
inline constexpr int labelMinSurfacePx = 16;              // smallest side of a label's surface
inline constexpr WORD labelKeyColour = 0xFFFF;            // white: plain and clickable labels
inline constexpr WORD pressedKeyColour = 0x3186;          // dark grey: pressed labels and buttons
inline constexpr COLORREF pressedTextColour = 0xC4C4C4;   // light grey (COLORREF)
inline constexpr COLORREF clickableTextColour = 0x050505; // near black (COLORREF)
inline constexpr int hitMarginSidePx = 5;                 // labels and items: left and right
inline constexpr int hitMarginAbovePx = 10;               // labels and items: above, none below

// --- MyItem -------------------------------------------------------------------------------------
inline constexpr WORD captionKeyColour = 0xE71C; // the faces behind captions, normal and disabled
inline constexpr COLORREF disabledCaptionColour = 0x808080; // grey (COLORREF)
inline constexpr double captionGapPx = 6.0; // design px between a box or switch and its caption
inline constexpr double listRowTextInsetPx = 16.0; // design px from a list row's left to its text
inline constexpr double listRowEndRoomPx = 16.0;   // design px kept clear at a list row's right

// --- MyPanel ------------------------------------------------------------------------------------
inline constexpr int panelCaptionPoints = 10;   // the title caption, in the label face
inline constexpr LONG panelCaptionWeight = 600; // FW_SEMIBOLD: white on the dark bar
inline constexpr COLORREF panelCaptionColour = 0xFFFFFF;
inline constexpr int panelCaptionLeftPx = 10; // design px from the bar's left edge
// The caption's line box starts this far (design px) below the bar's top: capitals then sit in
// the middle of the dark part of the bar, with the room for descenders over its shadow.
inline constexpr int panelCaptionTopPx = 1;

// --- Section ------------------------------------------------------------------------------------
inline constexpr int sectionTitlePoints = 12;
inline constexpr LONG sectionTitleWeight = 300; // FW_LIGHT
inline constexpr BYTE sectionTitleCharSet = 1;  // DEFAULT_CHARSET
inline constexpr BYTE sectionTitleQuality = 5;  // CLEARTYPE_QUALITY
inline constexpr COLORREF sectionTitleColour = 0x202020;
inline constexpr int scrollBarVisibleWidthPx = 5; // columns of the overlay shown

// --- MyEditControl ------------------------------------------------------------------------------
inline constexpr int editTileCount = 3;          // frame image tiles: normal, edited, third
inline constexpr int editCapWidthPx = 10;        // left and right caps copied as they are
inline constexpr int editStretchColumn = 15;     // the tile column stretched between the caps
inline constexpr double editLabelLeftPx = 4.0;   // design px from the field's left to its text
inline constexpr double editLabelTopPx = 10.0;   // design px from the field's top to its text
inline constexpr double editorSideInsetPx = 5.0; // design px, native editor inside the frame
inline constexpr double editorTopInsetPx = 10.0; // design px, native editor below the frame's top
// design px, native editor above the frame's bottom: the frame's lower edge stays in sight
inline constexpr double editorBottomInsetPx = 10.0;
inline constexpr COLORREF editTextColour = 0x000000;
inline constexpr WORD editTextKey = 0xFFFF;
inline constexpr int editorControlId = 102;
inline constexpr int editTextBufferChars = 255;    // text read back: at most 254 characters
inline constexpr DWORD slideRestAfterMs = 200;     // then the rest of the slide in one step
inline constexpr int slideDivisor = 4;             // each upward tick moves a quarter, plus one px
inline constexpr int slideDownDivisor = 2;         // each downward tick moves half, plus one px
inline constexpr int editTopMarginPx = 50;         // the edited field stays this far below the top
inline constexpr DWORD sipOnAndDocked = 0x1 | 0x2; // SIPF_ON | SIPF_DOCKED
inline constexpr DWORD fullScreenWithSipButton = 0x4; // SHFS_SHOWSIPBUTTON
inline constexpr DWORD screenFillBlack = 0x0000;      // below the input panel while editing

// --- MessageBoxSense ----------------------------------------------------------------------------
inline constexpr int boxMarginPx = 10;         // buttons from the box's sides, and below the text
inline constexpr int boxTextInsetDivisor = 50; // the text keeps 1/50 of the width from each side
inline constexpr COLORREF boxCaptionColour = 0xFFFFFF; // on the dark caption band
inline constexpr COLORREF boxTextColour = 0x000000;
inline constexpr double hundredthsOfMmPerInch = 2540.0; // the Imaging API's source units
inline constexpr int boxStretchedRows = 2; // rows of the box image stretched down its middle

} // namespace tunables
