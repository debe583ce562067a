// Turns the toolkit's PNG files into DirectDraw surfaces or Imaging image objects, shrinks PNG
// files for small screens, and reports Imaging failures to the user.
#pragma once

#include "SharedResources.h"

#include <ddraw.h>
#include <imaging.h>
#include <windows.h>

#include <string>

// The process's single Imaging factory: created on first use, never released (SharedResources.h).
inline IImagingFactory*& imagingFactory = sharedResources.imagingFactory;

// A new surface exactly as large as the image, the image drawn over the background colour; a
// 4 x 4 surface (after the "Image not found!" box) when the file cannot be opened. The caller
// owns it. Null if the surface cannot be made.
IDirectDrawSurface* loadImage(const std::wstring& path);

// A new image object; a blank 4 x 4 image (after the box) when the file cannot be opened.
IImage* loadImageObject(const std::wstring& path);

// Replaces the PNG file by a copy scaled by scaleFactor (fractions dropped). The platform's
// encoder writes aside and renames, so the file is never left half-written.
void rescaleImageFile(const std::wstring& path);
// The same, writing the scaled copy to `destination` and leaving `source` untouched.
void rescaleImageFileTo(const std::wstring& source, const std::wstring& destination);

// For the known Imaging and COM failure codes: a box with the code's name captioned `context`,
// then the process ends with the fatal exit status. Any other code is ignored and the function
// returns.
void reportImagingError(HRESULT code, const std::wstring& context);
// The name shown for a known code, or null.
const wchar_t* imagingErrorName(HRESULT code);

// The last 20 characters of a path (the whole path when shorter): how captions name a file.
std::wstring pathTail(const std::wstring& path);

// Where "Image not found!" asks the user to write.
inline constexpr const wchar_t* supportAddress = L"support@dawnbell.example";
