// SPDX-License-Identifier: GPL-3.0-or-later
// editor_layout.cpp - builds the editor's controls from the control table.
#include "editor/editor_layout.h"

#include "gui/cbitmap.h"

#include <algorithm>

namespace {

/// 0, 0 to the bitmap's width and one image's height, normalised, at (x, y).
CRect controlRect(const CBitmap& bitmap, const EditorControlEntry& entry)
{
    const int32_t w = bitmap.getWidth();
    const int32_t h = entry.stackedImages > 0 ? bitmap.getHeight() / entry.stackedImages : 0;
    CRect r(std::min(0, w), std::min(0, h), std::max(0, w), std::max(0, h));
    r.offset(entry.x, entry.y);
    return r;
}

} // namespace

EditorControlsByTag buildEditorControls(CViewContainer& container, CControlListener* listener,
                                        const std::function<float(int32_t tag)>& valueOf)
{
    EditorControlsByTag byTag{};
    CBitmap* knobBitmap = new CBitmap(kEditorControls[0].bitmapId); // shared by the nine knobs

    for (const EditorControlEntry& entry : kEditorControls)
    {
        const bool sharedKnob = entry.kind == EditorControlKind::AnimKnob;
        CBitmap* bitmap = sharedKnob ? knobBitmap : new CBitmap(entry.bitmapId);
        const CRect rect = controlRect(*bitmap, entry);
        const int32_t imageHeight =
            entry.stackedImages > 0 ? bitmap->getHeight() / entry.stackedImages : 0;

        CControl* control = nullptr;
        switch (entry.kind)
        {
        case EditorControlKind::AnimKnob:
            control = new CAnimKnob(rect, listener, entry.tag, entry.stackedImages, imageHeight,
                                    bitmap, CPoint(0, 0));
            break;
        case EditorControlKind::VerticalSwitch:
            control = new CVerticalSwitch(rect, listener, entry.tag, entry.stackedImages,
                                          imageHeight, entry.stackedImages, bitmap, CPoint(0, 0));
            break;
        case EditorControlKind::OnOffButton:
            control = new COnOffButton(rect, listener, entry.tag, bitmap,
                                       COnOffButton::kPostListenerUpdate);
            break;
        }
        if (!sharedKnob)
            bitmap->release(); // the control holds its own reference now

        control->setValue(valueOf ? valueOf(entry.tag) : 0.f);
        container.addView(control);
        // The container holds the control; the creator's reference goes with
        // it when the container removes its views with release.
        if (entry.tag >= 0 && entry.tag < kEditorControlCount)
            byTag[static_cast<size_t>(entry.tag)] = control;
    }
    knobBitmap->release(); // the nine knobs hold theirs
    return byTag;
}
