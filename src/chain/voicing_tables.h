// SPDX-License-Identifier: GPL-3.0-or-later
// voicing_tables.h - what the amplifier is made of.
//
// The preamp voicings are data: each is one table of its signal path (the
// gains, filters with their designs, and the two triode stages with their
// component sets), and everything else in the chain (the design of every
// filter and stage, the model loops, the finiteness check) is derived from
// these tables.  Adding a voicing means adding its AmpChannel members and
// one table here, in the order of vorla::Voicing (chain/voicing.h), which
// names the switches that select it.
//
// The order in which a sample passes the segments these tables describe is
// written down once, in chain/chain_order.h.
#pragma once

#include "chain/amp_channel.h"
#include "chain/voicing.h"
#include "dsp/biquad.h"
#include "dsp/tone_stack.h"
#include "dsp/triode_sets.h"
#include "dsp/triode_stage.h"
#include "dsp/tube_table.h"

#include <array>
#include <cstddef>
#include <utility>

namespace vorla {

// --- Gains of the voicings --------------------------------------------------------------

/// Clean: the divider from the input stage's plate into the first stage.
inline constexpr double kCleanPad = 0.22;
/// Clean, normal: the further divider that the bright shelf replaces.
inline constexpr double kCleanNormalPad = 0.0766;
/// Clean, bright: the divider after the bright shelf (which keeps the highs).
inline constexpr double kCleanBrightPad = 0.1;
/// Clean: make-up gain after the second stage, normal and bright (less, as
/// the bright path kept the highs).
inline constexpr double kCleanMakeup = 6.0;
inline constexpr double kCleanBrightMakeup = 5.3;
/// Crunch, normal: half level into the drive; the bright shelf gives the same
/// 0.5 at low frequencies and keeps the highs.
inline constexpr double kCrunchPad = 0.5;
/// Overdrive: the boost switch doubles the gain between the stages ...
inline constexpr double kOverdriveBoost = 2.0;
/// ... on top of the fixed interstage gain.
inline constexpr double kOverdriveInterstage = 1.8;

// --- Voicing tables --------------------------------------------------------------------

/// A second-order section's design at the processing rate (dsp/biquad.h).
struct BiquadDesign
{
    enum class Kind
    {
        Lowpass,
        LowShelf,
        Peak,
        Highpass,
    };
    Kind kind = Kind::Lowpass;
    double frequency = 0.0; // hertz
    double q = 0.0;
    double gain = 0.0; // linear: DC gain of a shelf, centre gain of a peak
};

constexpr BiquadDesign lowpass(double f, double q)
{
    return {BiquadDesign::Kind::Lowpass, f, q, 0.0};
}
constexpr BiquadDesign lowShelf(double f, double q, double gain)
{
    return {BiquadDesign::Kind::LowShelf, f, q, gain};
}
constexpr BiquadDesign peak(double f, double q, double gain)
{
    return {BiquadDesign::Kind::Peak, f, q, gain};
}
constexpr BiquadDesign highpass(double f, double q)
{
    return {BiquadDesign::Kind::Highpass, f, q, 0.0};
}

/// Which pairs an element acts on (the switches are read per pair).
enum class When
{
    Always,
    Bright,    // bright switch on
    NotBright, // bright switch off
    Boost,     // boost switch on
};

/// One element of a voicing's path.
struct Element
{
    enum class Kind
    {
        None, // an unused place in a list
        Gain, // x *= gain
        Knob, // x *= a value of the block snapshot (a drive law)
        Filter,
        Shaper, // stageShaper
    };
    Kind kind = Kind::None;
    When when = When::Always;
    double gain = 0.0;
    double BlockSnapshot::*knob = nullptr;
    Biquad AmpChannel::*filter = nullptr;
    BiquadDesign design{};
};

constexpr Element gain(double g, When when = When::Always)
{
    return {Element::Kind::Gain, when, g, nullptr, nullptr, {}};
}
constexpr Element knob(double BlockSnapshot::*value)
{
    return {Element::Kind::Knob, When::Always, 0.0, value, nullptr, {}};
}
constexpr Element filter(Biquad AmpChannel::*f, BiquadDesign design, When when = When::Always)
{
    return {Element::Kind::Filter, when, 0.0, nullptr, f, design};
}
constexpr Element shaper()
{
    return {Element::Kind::Shaper, When::Always, 0.0, nullptr, nullptr, {}};
}

using ElementList = std::array<Element, 4>;

/// A triode stage of the chain and the component set it is built from.
struct StageUse
{
    TriodeStage AmpChannel::*stage = nullptr;
    const TriodeComponentSet* set = nullptr;
};

/// One preamp voicing: two stages and what comes before, between and after.
struct VoicingPath
{
    ElementList beforeFirst;
    StageUse first;
    ElementList beforeSecond;
    StageUse second;
    ElementList afterSecond;
};

// clang-format off
inline constexpr VoicingPath kCleanVoicing = {
    .beforeFirst = {gain(kCleanPad),
                    gain(kCleanNormalPad, When::NotBright),
                    filter(&AmpChannel::cleanBrightShelf, lowShelf(720.0, 0.7, 0.5), When::Bright),
                    gain(kCleanBrightPad, When::Bright)},
    .first = {&AmpChannel::cleanStage1, &kTriodeSetS1},
    // Bass cut and treble roll-off between the stages.
    .beforeSecond = {filter(&AmpChannel::cleanShelf, lowShelf(600.0, 0.7, 0.25)),
                     filter(&AmpChannel::cleanLowpass, lowpass(4800.0, 1.0))},
    .second = {&AmpChannel::cleanStage2, &kTriodeSetS4},
    .afterSecond = {gain(kCleanMakeup, When::NotBright),
                    gain(kCleanBrightMakeup, When::Bright)},
};

inline constexpr VoicingPath kCrunchVoicing = {
    .beforeFirst = {filter(&AmpChannel::crunchBrightShelf, lowShelf(720.0, 0.7, 0.5), When::Bright),
                    gain(kCrunchPad, When::NotBright),
                    knob(&BlockSnapshot::crunchDriveGain)},
    .first = {&AmpChannel::crunchStage1, &kTriodeSetS1},
    .beforeSecond = {filter(&AmpChannel::crunchShelf, lowShelf(600.0, 0.7, 0.35)),
                     filter(&AmpChannel::crunchLowpass, lowpass(4800.0, 0.85))},
    .second = {&AmpChannel::crunchStage2, &kTriodeSetS4},
    // Soft limit of the second stage's positive swing.
    .afterSecond = {shaper()},
};

inline constexpr VoicingPath kOverdriveVoicing = {
    // Bass cut before the drive, and a low-pass that tames the fizz of the
    // first stage.
    .beforeFirst = {filter(&AmpChannel::overdriveShelf, lowShelf(250.0, 0.7, 0.45)),
                    knob(&BlockSnapshot::overdriveDriveGain),
                    filter(&AmpChannel::overdriveLowpass1, lowpass(2257.0, 0.85))},
    .first = {&AmpChannel::overdriveStage1, &kTriodeSetS3},
    .beforeSecond = {gain(kOverdriveBoost, When::Boost),
                     gain(kOverdriveInterstage),
                     filter(&AmpChannel::overdriveLowpass2, lowpass(4800.0, 0.85))},
    .second = {&AmpChannel::overdriveStage2, &kTriodeSetS4},
    // Soft limit, then the presence peak of the bright switch.
    .afterSecond = {shaper(),
                    filter(&AmpChannel::brightPeak, peak(4500.0, 0.7, 1.6), When::Bright)},
};
// clang-format on

/// Every voicing's path, in the order of vorla::Voicing.
inline constexpr std::array<const VoicingPath*, kVoicingCount> kVoicings = {
    &kCleanVoicing, &kCrunchVoicing, &kOverdriveVoicing};

/// The index into kVoicings of the voicing the switches of a pair select.
inline int voicingIndex(const PairFlags& flags) noexcept
{
    return static_cast<int>(selectVoicing(flags.channelOverdrive, flags.crunchOn));
}

/// The input stage, shared by every voicing.
inline constexpr StageUse kInputStage = {&AmpChannel::inputStage, &kTriodeSetS2};

/// The 2 Hz high-pass after the power stage; its input history starts at the
/// tube curve's rest output (designHighpass).
inline constexpr Element kDcBlocker = filter(&AmpChannel::dcBlocker, highpass(2.0, 0.7));

// --- Everything of a side, derived from the tables ----------------------------------------

namespace graph {

constexpr int countFilters() noexcept
{
    int n = 1; // the DC blocker
    for (const VoicingPath* v : kVoicings)
        for (const ElementList* list : {&v->beforeFirst, &v->beforeSecond, &v->afterSecond})
            for (const Element& e : *list)
                n += e.kind == Element::Kind::Filter ? 1 : 0;
    return n;
}

} // namespace graph

inline constexpr int kStageCount = 1 + 2 * kVoicingCount;
inline constexpr int kBiquadCount = graph::countFilters();

/// Every triode stage of a side: the input stage, then each voicing's two.
inline constexpr std::array<StageUse, kStageCount> kStageUses = [] {
    std::array<StageUse, kStageCount> uses{};
    uses[0] = kInputStage;
    for (int v = 0; v < kVoicingCount; ++v)
    {
        uses[static_cast<std::size_t>(1 + 2 * v)] = kVoicings[static_cast<std::size_t>(v)]->first;
        uses[static_cast<std::size_t>(2 + 2 * v)] = kVoicings[static_cast<std::size_t>(v)]->second;
    }
    return uses;
}();

/// Every biquad of a side with its design: the voicings' filters, then the
/// DC blocker.
inline constexpr std::array<Element, kBiquadCount> kBiquadUses = [] {
    std::array<Element, kBiquadCount> uses{};
    std::size_t n = 0;
    for (const VoicingPath* v : kVoicings)
        for (const ElementList* list : {&v->beforeFirst, &v->beforeSecond, &v->afterSecond})
            for (const Element& e : *list)
                if (e.kind == Element::Kind::Filter)
                    uses[n++] = e;
    uses[n] = kDcBlocker;
    return uses;
}();

constexpr int stageIndex(TriodeStage AmpChannel::*member) noexcept
{
    for (int k = 0; k < kStageCount; ++k)
        if (kStageUses[static_cast<std::size_t>(k)].stage == member)
            return k;
    return -1;
}

constexpr int biquadIndex(Biquad AmpChannel::*member) noexcept
{
    for (int k = 0; k < kBiquadCount; ++k)
        if (kBiquadUses[static_cast<std::size_t>(k)].filter == member)
            return k;
    return -1;
}

static_assert(kStageCount == 7 && kBiquadCount == 11, "seven stages and eleven biquads a side");

} // namespace vorla
