// SPDX-License-Identifier: MIT
// Must not compile in the image core.
#include "av_camera.h"
