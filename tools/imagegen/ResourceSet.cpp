#include "ResourceSet.h"

#include "PngFile.h"
#include "Widgets.h"

namespace imagegen {

namespace {

using design::Size;

// Left by the program once it has shrunk the images for a small screen.
constexpr std::string_view rescalingMarker = "AlreadyScalled.txt";
// Lists the images already shrunk while the program is at it.
constexpr std::string_view rescalingProgress = "RescaleProgress.txt";

// A file of the program's one-time rescaling rather than of the set: its marker and progress
// list, the scaled copies (".part"), the program's own temporaries (".tmp") and the hidden
// temporaries of files the device was replacing (".<name>.writing-<pid>-<unique>").
bool isRescalingWorkFile(const std::string& name) {
    return name == rescalingMarker || name == rescalingProgress || name.ends_with(".part") ||
           name.ends_with(".tmp") ||
           (name.starts_with(".") && name.find(".writing-") != std::string::npos);
}

std::vector<std::filesystem::path> rescalingWorkFiles(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (isRescalingWorkFile(entry.path().filename().string())) {
            found.push_back(entry.path());
        }
    }
    return found;
}

// Frames painted one by one and laid side by side.
Canvas strip(Size frame, int frames, const std::function<void(Canvas&, int)>& paintFrame) {
    Canvas whole(frame.width * frames, frame.height);
    for (int i = 0; i < frames; ++i) {
        Canvas one(frame.width, frame.height);
        paintFrame(one, i);
        whole.draw(one, i * frame.width, 0);
    }
    return whole;
}

Canvas single(Size size, const std::function<void(Canvas&)>& paint) {
    Canvas canvas(size.width, size.height);
    paint(canvas);
    return canvas;
}

Size times(Size frame, int frames) {
    return {frame.width * frames, frame.height};
}

ImageSpec pushButtonStrip(std::string_view file, Size frame) {
    return {file, times(frame, design::pushButtonFrames), design::pushButtonFrames, [frame] {
                static constexpr Look looks[] = {Look::normal, Look::pressed, Look::disabled,
                                                 Look::focused};
                return strip(frame, design::pushButtonFrames,
                             [](Canvas& c, int i) { drawPushButton(c, looks[i]); });
            }};
}

ImageSpec checkBoxStrip() {
    const Size frame = design::checkBoxFrame;
    return {"btn_common_checkbox.png", times(frame, design::checkBoxFrames), design::checkBoxFrames,
            [frame] {
                struct Face {
                    Mark mark;
                    Look look;
                };
                static constexpr Face faces[] = {
                    {Mark::off, Look::normal},   {Mark::on, Look::normal},
                    {Mark::off, Look::disabled}, {Mark::on, Look::disabled},
                    {Mark::off, Look::pressed},  {Mark::on, Look::pressed}};
                return strip(frame, design::checkBoxFrames, [](Canvas& c, int i) {
                    drawCheckBox(c, faces[i].mark, faces[i].look);
                });
            }};
}

ImageSpec switchStrip() {
    const Size frame = design::switchFrame;
    return {"btn_common_switch.png", times(frame, design::switchFrames), design::switchFrames,
            [frame] {
                struct Face {
                    KnobAt knob;
                    Look look;
                };
                // The last frame is what a switch shows while the finger is on it.
                static constexpr Face faces[] = {
                    {KnobAt::left, Look::normal},   {KnobAt::right, Look::normal},
                    {KnobAt::left, Look::disabled}, {KnobAt::right, Look::disabled},
                    {KnobAt::left, Look::pressed},  {KnobAt::right, Look::pressed},
                    {KnobAt::middle, Look::pressed}};
                return strip(frame, design::switchFrames,
                             [](Canvas& c, int i) { drawSwitch(c, faces[i].knob, faces[i].look); });
            }};
}

ImageSpec inputTiles() {
    const Size tile = design::inputTile;
    return {"btn_common_input.png", times(tile, design::inputTiles), design::inputTiles, [tile] {
                static constexpr Look looks[] = {Look::normal, Look::focused, Look::disabled};
                return strip(tile, design::inputTiles,
                             [](Canvas& c, int i) { drawInputTile(c, looks[i]); });
            }};
}

ImageSpec listItemStrip(std::string_view file, bool roundTop, bool roundBottom) {
    const Size frame = design::listItem;
    return {file, times(frame, design::listItemFrames), design::listItemFrames, [=] {
                return strip(frame, design::listItemFrames, [=](Canvas& c, int i) {
                    drawListItem(c, roundTop, roundBottom, i == 0 ? Look::normal : Look::pressed);
                });
            }};
}

ImageSpec picture(std::string_view file, Size size, std::function<void(Canvas&)> paint) {
    return {file, size, 1, [size, paint = std::move(paint)] { return single(size, paint); }};
}

std::vector<ImageSpec> makeResourceImages() {
    const Size wideBar{design::screenWidth, design::titleBarHeight};
    const Size divider{design::screenWidth, design::dividerHeight};
    return {
        picture("bg_common_titlebar.png", wideBar, drawTitleBar),
        picture("bg_common_divider_section.png", divider, drawSectionDivider),
        pushButtonStrip("btn_common_msgbox_large.png", design::largeBoxButton),
        pushButtonStrip("btn_common_msgbox_small.png", design::smallBoxButton),
        pushButtonStrip("btn_common_normal.png", design::normalButton),
        switchStrip(),
        checkBoxStrip(),
        inputTiles(),
        listItemStrip("btn_common_listitem.png", true, true),
        picture("pivot_leftarrow.png", design::pivotArrow,
                [](Canvas& c) { drawPivotArrow(c, true); }),
        picture("pivot_rightarrow.png", design::pivotArrow,
                [](Canvas& c) { drawPivotArrow(c, false); }),
        {"btn_common_combo_down.png", times(design::comboButton, design::comboFrames),
         design::comboFrames,
         [] {
             return strip(design::comboButton, design::comboFrames, [](Canvas& c, int i) {
                 drawComboButton(c, i == 0 ? Look::normal : Look::pressed);
             });
         }},
        listItemStrip("btn_common_listitem_bottom.png", false, true),
        listItemStrip("btn_common_listitem_middle.png", false, false),
        picture("bg_common_dotline.png", design::dotLine, drawDotLine),
        picture("bg_common_msgbox.png", design::messageBox, drawMessageBox),
        picture("background.png", design::backdrop, drawBackdrop),
        {"btn_switch_thirdState.png", times(design::switchFrame, design::thirdStateFrames),
         design::thirdStateFrames,
         [] {
             return strip(design::switchFrame, design::thirdStateFrames, [](Canvas& c, int i) {
                 drawSwitch(c, KnobAt::middle, i == 0 ? Look::normal : Look::disabled);
             });
         }},
        {"btn_checkbox_thirdState.png", times(design::checkBoxFrame, design::thirdStateFrames),
         design::thirdStateFrames,
         [] {
             return strip(design::checkBoxFrame, design::thirdStateFrames, [](Canvas& c, int i) {
                 drawCheckBox(c, Mark::mixed, i == 0 ? Look::normal : Look::disabled);
             });
         }},
        picture("btn_common_slider.png", design::sliderTrack, drawSliderTrack),
        picture("sliderBtn.png", design::sliderKnob, drawSliderKnob),
    };
}

void save(const std::filesystem::path& file, const Canvas& canvas,
          std::vector<std::string>& problems) {
    std::string error;
    if (!writePng(file, canvas, design::dotsPerInch, design::palette::toolkitBackground, error)) {
        problems.push_back(file.filename().string() + ": " + error);
    }
}

} // namespace

const std::vector<ImageSpec>& resourceImages() {
    static const std::vector<ImageSpec> images = makeResourceImages();
    return images;
}

std::vector<std::string> writeResourceSet(const std::filesystem::path& folder) {
    std::vector<std::string> problems;
    for (const ImageSpec& image : resourceImages()) {
        save(folder / image.file, image.paint(), problems);
    }
    return problems;
}

bool imagesAtTheirSize(const std::filesystem::path& folder) {
    for (const ImageSpec& image : resourceImages()) {
        const auto size = readPngSize(folder / image.file);
        if (!size || size->first != image.size.width || size->second != image.size.height) {
            return false;
        }
    }
    return true;
}

bool isPristine(const std::filesystem::path& folder) {
    return rescalingWorkFiles(folder).empty() && imagesAtTheirSize(folder);
}

std::vector<std::string> forgetRescaling(const std::filesystem::path& folder) {
    std::vector<std::string> problems;
    for (const std::filesystem::path& file : rescalingWorkFiles(folder)) {
        std::error_code ec;
        std::filesystem::remove(file, ec);
        if (ec) {
            problems.push_back(file.filename().string() + ": " + ec.message());
        }
    }
    return problems;
}

std::vector<std::string> writeAppIcons(const std::filesystem::path& folder) {
    std::vector<std::string> problems;
    for (int size : design::appIconSizes) {
        save(folder / ("dawnbell-" + std::to_string(size) + ".png"),
             single({size, size}, drawAppIcon), problems);
    }
    return problems;
}

} // namespace imagegen
