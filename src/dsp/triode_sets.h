// SPDX-License-Identifier: GPL-3.0-or-later
// The four triode stage designs of the preamplifier: a plate-voltage curve
// and a component set each.  Every stage instance of the chain is built from
// one of them (S1: first clean and crunch stages, S2: input stage, S3: first
// overdrive stage, S4: the second stages of all three voicings).
//
// Units: ohms, farads, volts.  VpStart seeds the operating-point iteration.
// The coupling capacitor sees Ra + Rb; only the sum matters.
#pragma once

#include "dsp/triode_stage.h"

namespace vorla {

struct TriodeComponentSet
{
    double Rg;
    double Rk;
    double Ck;
    double Vb;
    double Rp;
    double VpStart;
    double Ra;
    double Rb;
    double Cc;
    TriodeCurve curve;
};

// clang-format off
inline constexpr TriodeCurve kTriodeCurveS1 = {
    71.42421809676242,      0.4086298284135495,    -49.26634128668552,
    0.4417475706213798,     20.76338922285656,     0.1359605247790958,
    -2.614081288640218,     0.026046184027046,     0.2813164189029517,
    0.002051755709266653,   -0.009204498022369742, 6.513636667369788e-05,
    0.0001640065234981901,
};

inline constexpr TriodeCurve kTriodeCurveS2 = {
    117.0870805431241,      -0.02513256917963978,  -79.20651507234204,
    0.2296464343159335,     27.8542183755586,      0.06879313202908972,
    -3.490001363429806,     0.01739836685347945,   0.356716804972615,
    0.001453515303461296,   -0.01143429622245191,  4.978296368525056e-05,
    0.0002045677157867526,
};

inline constexpr TriodeCurve kTriodeCurveS3 = {
    113.6463655918881,      -0.01742109662908865,  -77.20779125702153,
    0.2141919317152052,     26.66666578583706,     0.0611321639256995,
    -3.355582190346414,     0.01593667172994474,   0.3348395801568758,
    0.001341177655714935,   -0.01067114734140345,  4.638071747726255e-05,
    0.0001880101628949561,
};

inline constexpr TriodeCurve kTriodeCurveS4 = {
    74.28788601722562,      0.4094490099708854,    -50.64489276706355,
    0.452728947736635,      21.43262467976393,     0.1385596458140827,
    -2.692469818589406,     0.0258098725394709,    0.288982432976921,
    0.001979468638827205,   -0.009566888014018914, 6.129651388255708e-05,
    0.0001698267403111727,
};

//                                          Rg      Rk    Ck     Vb     Rp       VpStart Ra       Rb       Cc
inline constexpr TriodeComponentSet kTriodeSetS1 = {68000,  2200, 5e-9, 360, 100000, 252.9,  470000,  500000,  2.2e-8, kTriodeCurveS1};
inline constexpr TriodeComponentSet kTriodeSetS2 = {68000,  1800, 1e-6, 360, 220000, 208,    2200000, 330000,  2.2e-8, kTriodeCurveS2};
inline constexpr TriodeComponentSet kTriodeSetS3 = {470000, 1800, 1e-6, 350, 100000, 245.45, 470000,  1000000, 2.2e-8, kTriodeCurveS3};
inline constexpr TriodeComponentSet kTriodeSetS4 = {220000, 1800, 1e-6, 378, 220000, 197,    0,       2200000, 2.2e-8, kTriodeCurveS4};
// clang-format on

// initTriodeStage with the values of a component set.
inline void initTriodeStage(TriodeStage& stage, const TriodeComponentSet& set, double rate)
{
    initTriodeStage(stage, set.Rg, set.Rk, set.Ck, set.Vb, set.Rp, set.VpStart, set.Ra, set.Rb,
                    set.Cc, rate, set.curve);
}

} // namespace vorla
