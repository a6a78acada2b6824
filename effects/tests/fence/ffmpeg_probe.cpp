// SPDX-License-Identifier: MIT
// Must not compile in the image core.
#include <libavcodec/avcodec.h>
