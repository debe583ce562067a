// The surfaces and fonts that widgets share for the whole process. The program never releases
// them; a test or a benchmark that starts a new device for each run releases them with the old
// one, since they belong to its display.
#pragma once

// Releases every shared widget surface, image and font, the back buffer and the scroll-bar
// overlay, and forgets the sizes read from them, so that the next widget loads them again. The
// fields' native editor is destroyed too.
void releaseSharedWidgetResources();
