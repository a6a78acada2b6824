// SPDX-License-Identifier: MIT
// Must not compile in the image core.
#include "error_alert.h"
