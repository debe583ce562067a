// The looks of the toolkit's pictures. Each function paints one frame filling the whole canvas
// it is given; the strips are put together from such frames.
#pragma once

#include "Canvas.h"

namespace imagegen {

enum class Look { normal, pressed, disabled, focused };
enum class Mark { off, on, mixed };
enum class KnobAt { left, right, middle };

void drawPushButton(Canvas& frame, Look look);
void drawCheckBox(Canvas& frame, Mark mark, Look look);
void drawSwitch(Canvas& frame, KnobAt knob, Look look);
// A tile of the text field image: normal, focused (being edited) or disabled.
void drawInputTile(Canvas& tile, Look look);
// A row of a list; `roundTop` and `roundBottom` choose which corners are rounded.
void drawListItem(Canvas& frame, bool roundTop, bool roundBottom, Look look);
void drawPivotArrow(Canvas& frame, bool pointsLeft);
void drawComboButton(Canvas& frame, Look look);
void drawSliderTrack(Canvas& canvas);
void drawSliderKnob(Canvas& canvas);

void drawTitleBar(Canvas& canvas);
void drawSectionDivider(Canvas& canvas);
void drawDotLine(Canvas& canvas);
void drawMessageBox(Canvas& canvas);
void drawBackdrop(Canvas& canvas);
// The application's icon: a bell sending radio waves, on a dawn sky.
void drawAppIcon(Canvas& canvas);

// The disabled look of a picture: paler, greyer and partly transparent.
Canvas faded(const Canvas& picture);

} // namespace imagegen
