// SPDX-License-Identifier: GPL-3.0-or-later
// A primitive that leans on the effect: the layer check must refuse it.
#pragma once

#include "plugin/vorla.h"
