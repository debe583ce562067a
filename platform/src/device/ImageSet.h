// The device's own copy of the program's image set. A screen narrower than the 480-pixel design
// has its images rescaled once by the program; that happens in a copy kept in the device folder
// beside the registry, named for the screen it serves ("240x320-96dpi"), so the program's set
// (the build's, the installed one) stays as drawn and a device on another screen or density
// starts again from it. The copy is made in a temporary folder and renamed into place, so a run
// cut off while copying leaves no half set behind; the program's own rescaling in the copy is
// safe against being cut off by itself. A stamp in the copy names the program's images it came
// from (names, sizes, times): other images, from another build or install, get a new copy.
// Cleaning the copies' folder removes only the copies' own names and never follows a link.
#pragma once

#include <filesystem>
#include <string>

namespace platform::device {

// The name of the copy for a screen of `width` x `height` pixels at `dpi`.
std::string imageSetKey(int width, int height, int dpi);

// Makes sure deviceDir/resources/<key>/ holds a copy of `original` as it is now (without the
// files of an earlier rescaling) and removes copies made for other screens or other images.
// Returns the copy's image folder; `original` when there is no such folder to copy (the
// program says so itself); empty, after saying why on standard error, when no copy can be made:
// the program's own folder must then never be rescaled.
std::filesystem::path ownImageSet(const std::filesystem::path& deviceDir,
                                  const std::filesystem::path& original, const std::string& key);

} // namespace platform::device
