// imagegen: draws the toolkit's resource set (the 21 PNG images of the VGA design) and the
// application icons.
//
//   imagegen <folder>           write the 21 images into the folder, then check them
//   imagegen --check <folder>   check an existing set
//   imagegen --restore <folder> write the images again if the program has rescaled them, and
//                               remove the files of its rescaling
//   imagegen --icons <folder>   write dawnbell-48.png and dawnbell-256.png

#include "ResourceSet.h"
#include "SetCheck.h"

#include <filesystem>
#include <iostream>
#include <string_view>

namespace {

int usage() {
    std::cerr << "usage: imagegen <folder> | imagegen --check <folder> | "
                 "imagegen --restore <folder> | imagegen --icons <folder>\n";
    return 2;
}

int report(const std::vector<std::string>& problems, std::string_view what) {
    for (const std::string& problem : problems) {
        std::cerr << "imagegen: " << problem << '\n';
    }
    if (!problems.empty()) {
        std::cerr << "imagegen: " << what << " failed\n";
        return 1;
    }
    return 0;
}

bool makeFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::cerr << "imagegen: cannot create " << folder << ": " << ec.message() << '\n';
        return false;
    }
    return true;
}

int writeAndCheck(const std::filesystem::path& folder) {
    if (!makeFolder(folder)) {
        return 1;
    }
    if (int status = report(imagegen::writeResourceSet(folder), "writing the images")) {
        return status;
    }
    return report(imagegen::checkResourceSet(folder), "check");
}

// A run of the program on a small screen shrinks the images in place, once, and a run cut off
// while it did so leaves its work files; a build puts back the full-size set without them, so
// that the next small-screen run starts the rescaling afresh.
int restore(const std::filesystem::path& folder) {
    if (imagegen::isPristine(folder)) {
        return 0;
    }
    if (int status = report(imagegen::forgetRescaling(folder), "removing the rescaling's files")) {
        return status;
    }
    if (imagegen::imagesAtTheirSize(folder)) {
        std::cerr << "imagegen: removed the rescaling's files from " << folder.string() << '\n';
        return 0;
    }
    std::cerr << "imagegen: " << folder.string() << " was rescaled or damaged; drawing it again\n";
    return writeAndCheck(folder);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--check") {
        return report(imagegen::checkResourceSet(argv[2]), "check");
    }
    if (argc == 3 && std::string_view(argv[1]) == "--restore") {
        return restore(argv[2]);
    }
    if (argc == 3 && std::string_view(argv[1]) == "--icons") {
        return makeFolder(argv[2]) ? report(imagegen::writeAppIcons(argv[2]), "icons") : 1;
    }
    if (argc != 2 || std::string_view(argv[1]).starts_with("-")) {
        return usage();
    }
    return writeAndCheck(argv[1]);
}
