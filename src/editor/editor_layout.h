// SPDX-License-Identifier: GPL-3.0-or-later
// editor_layout.h - the editor's fifteen controls: where they sit, which
// bitmap each shows and which parameter each stands for.
//
// Shared by the plug-in's editor and the snapshot tool.  Depends only on the
// widget toolkit.
#pragma once

#include "gui/ccontrol.h"
#include "gui/cview.h"

#include <array>
#include <cstdint>
#include <functional>

class CBitmap;

enum class EditorControlKind : int32_t
{
    AnimKnob,       ///< 63-frame film-strip knob
    VerticalSwitch, ///< two-position lever
    OnOffButton,    ///< lamp button
};

/// One row of the control table.  The rectangle is the bitmap's width and
/// its height divided by `stackedImages`, placed at (x, y).
struct EditorControlEntry
{
    const char* name;
    EditorControlKind kind;
    int32_t bitmapId;
    int32_t stackedImages;
    int32_t x;
    int32_t y;
    int32_t tag;
};

inline constexpr int32_t kEditorControlCount = 15;
inline constexpr int32_t kKnobFrameCount = 63;

/// In creation order: later controls lie on top of earlier ones and take the
/// press where rectangles overlap (the knob rectangles overlap their
/// neighbours by a few pixels; Quality overlaps Mono/Stereo).  Knobs after
/// the first of a row are placed in steps from the previous one: Drive2 =
/// Drive1 + 50; Low = Contour + 51, Mid = Low + 49, High = Mid + 49,
/// Power Amp = High + 47, Volume = Power Amp + 46.
// clang-format off
inline constexpr std::array<EditorControlEntry, kEditorControlCount> kEditorControls = {{
    {"inputKnob", EditorControlKind::AnimKnob, 1, kKnobFrameCount, 33, 164, 0},
    {"channelSwitch", EditorControlKind::VerticalSwitch, 3, 2, 77, 162, 1},
    {"cleanCrunchButton", EditorControlKind::OnOffButton, 4, 2, 143, 162, 2},
    {"boostButton", EditorControlKind::OnOffButton, 4, 2, 143, 194, 3},
    {"brightButton", EditorControlKind::OnOffButton, 2, 2, 312, 186, 4},
    {"monoStereoButton", EditorControlKind::OnOffButton, 5, 2, 548, 140, 13},
    {"drive1Knob", EditorControlKind::AnimKnob, 1, kKnobFrameCount, 199, 164, 5},
    {"drive2Knob", EditorControlKind::AnimKnob, 1, kKnobFrameCount, 199 + 50, 164, 6},
    {"contourKnob", EditorControlKind::AnimKnob, 1, kKnobFrameCount, 328, 164, 10},
    {"lowKnob", EditorControlKind::AnimKnob, 1, kKnobFrameCount, 328 + 51, 164, 7},
    {"midKnob", EditorControlKind::AnimKnob, 1, kKnobFrameCount, 328 + 51 + 49, 164, 8},
    {"highKnob", EditorControlKind::AnimKnob, 1, kKnobFrameCount, 328 + 51 + 49 + 49, 164, 9},
    {"powerAmpKnob", EditorControlKind::AnimKnob, 1, kKnobFrameCount, 328 + 51 + 49 + 49 + 47, 164, 11},
    {"volumeKnob", EditorControlKind::AnimKnob, 1, kKnobFrameCount, 328 + 51 + 49 + 49 + 47 + 46, 164, 12},
    {"qualityButton", EditorControlKind::OnOffButton, 5, 2, 548, 120, 14},
}};
// clang-format on

/// The controls built by buildEditorControls, indexed by tag (parameter index).
using EditorControlsByTag = std::array<CControl*, kEditorControlCount>;

/// Creates the fifteen controls in table order, each showing valueOf(tag),
/// and adds them to `container` (normally the frame), which then owns them.
/// The knob bitmap is loaded once and shared by the nine knobs; every other
/// control loads its own bitmap.  The caller's references to these bitmaps
/// are dropped once the controls hold theirs, so the bitmaps go with the
/// controls.  Returns the controls by tag (not owned).
EditorControlsByTag buildEditorControls(CViewContainer& container, CControlListener* listener,
                                        const std::function<float(int32_t tag)>& valueOf);
