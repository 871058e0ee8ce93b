// SPDX-License-Identifier: GPL-3.0-or-later
// exact_exp_fused.cpp - the fused form of the library's exp as a function,
// for the self-check and the tests.  Compiled for FMA (src/dsp/
// CMakeLists.txt); the fused operations are explicit, nothing is contracted.
#include "dsp/exact_exp_inline.h"

namespace vorla::exact_exp {

double expFused(double x) noexcept
{
    return exp<true>(x);
}

} // namespace vorla::exact_exp
