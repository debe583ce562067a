// The toolkit's diagnostic hook for failed DirectDraw and GDI calls. Every caller hands it the
// result code and a fixed text naming the failing step, then carries on as if the call had
// succeeded: drawing failures never reach the user. It deliberately does nothing; a debugging
// build may put a breakpoint or a log line here.
#pragma once

#include "wintypes.h"

#include <string_view>

inline void traceFailure(HRESULT /*code*/, std::wstring_view /*context*/) {}
