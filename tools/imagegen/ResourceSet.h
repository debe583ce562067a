// The toolkit's 21 images, in the order in which the program builds its image table, and the
// application icons.
#pragma once

#include "Canvas.h"
#include "Design.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace imagegen {

struct ImageSpec {
    std::string_view file;
    design::Size size; // of the whole image
    int frames;        // equal frames side by side (1 for a single picture)
    std::function<Canvas()> paint;
};

const std::vector<ImageSpec>& resourceImages();

// Writes every image into the folder (which must exist); returns the problems met.
std::vector<std::string> writeResourceSet(const std::filesystem::path& folder);
// Whether every image is present at the size it is written.
bool imagesAtTheirSize(const std::filesystem::path& folder);
// Whether the set in the folder is still as written: every image present at its size, and no
// file of the program's one-time rescaling for small screens (its marker, its progress list,
// scaled copies, temporaries left by a run that was cut off).
bool isPristine(const std::filesystem::path& folder);
// Removes those files of the rescaling; returns the problems met.
std::vector<std::string> forgetRescaling(const std::filesystem::path& folder);
// Writes "dawnbell-<size>.png" for each icon size.
std::vector<std::string> writeAppIcons(const std::filesystem::path& folder);

} // namespace imagegen
