// SPDX-License-Identifier: GPL-3.0-or-later
// Layout and constant checks.  (Every header is the first include of some
// test or library file, so each also compiles on its own.)
#include "dsp/model_constants.h"

#include <type_traits>

#include "dsp/biquad.h"
#include "dsp/halfband.h"
#include "dsp/lanes.h"
#include "dsp/tone_stack.h"
#include "dsp/triode_sets.h"
#include "dsp/triode_stage.h"
#include "dsp/tube_table.h"

namespace vorla {
namespace {

static_assert(kModelTwoPi == 6.28319304, "the model's 2*pi stand-in is part of the sound");
static_assert(sizeof(TubeTable) == 4000 * 2 * sizeof(double));
static_assert(sizeof(Biquad) == 10 * sizeof(double));
static_assert(sizeof(TriodeCurve) == 13 * sizeof(double));
static_assert(sizeof(TriodeStage) == (8 + 13 + 6 + 6) * sizeof(double));
static_assert(sizeof(HalfbandFilter12) == 36 * sizeof(float));
static_assert(sizeof(HalfbandFilter8) == 24 * sizeof(float));
static_assert(sizeof(HalfbandFilter4) == 12 * sizeof(float));
static_assert(std::is_trivially_copyable_v<TriodeStage>);
static_assert(std::is_trivially_copyable_v<Biquad>);
static_assert(std::is_trivially_copyable_v<ToneStack>);
static_assert(std::is_trivially_copyable_v<HalfbandFilter12>);
static_assert(noexcept(lookupTubeTable(std::declval<double&>())));
static_assert(noexcept(processBiquad(std::declval<Biquad&>(), std::declval<double&>())));
static_assert(kTubeRestOutput == -0.212997229504);
// The lane records are plain lists of lane fields (gatherLanes reads them so).
static_assert(sizeof(TriodeCoefficients<__m256d>) == 21 * sizeof(__m256d));
static_assert(sizeof(TriodeState<__m128d>) == 6 * sizeof(__m128d));
static_assert(sizeof(BiquadCoefficients<__m256d>) == 6 * sizeof(__m256d));
static_assert(sizeof(ToneStackCoefficients<__m128d>) == 7 * sizeof(__m128d));

} // namespace
} // namespace vorla
