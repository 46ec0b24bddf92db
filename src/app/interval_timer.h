#pragma once

// The timer moved down to the platform layer so that windows below the app use it too.
#include "platform/interval_timer.h"
