// SPDX-License-Identifier: MIT
// What the image core may include: it compiles, so the failures beside it are the fence's.
#include "effects.h"
#include "error_msg.h"
#include "frame_history.h"
#include "grabber.h"
#include "render_pass.h"
