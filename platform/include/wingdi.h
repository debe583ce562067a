#pragma once
#include "wintypes.h"
