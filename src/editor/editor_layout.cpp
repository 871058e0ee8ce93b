// editor_layout.cpp - builds the editor's controls from the control table.
#include "editor/editor_layout.h"

#include "gui/cbitmap.h"

#include <algorithm>

namespace {

/// 0, 0 to the bitmap's width and one image's height, normalised, at (x, y).
CRect controlRect(const CBitmap& bitmap, const EditorControlSpec& spec)
{
    const int32_t w = bitmap.getWidth();
    const int32_t h = spec.stackedImages > 0 ? bitmap.getHeight() / spec.stackedImages : 0;
    CRect r(std::min(0, w), std::min(0, h), std::max(0, w), std::max(0, h));
    r.offset(spec.x, spec.y);
    return r;
}

} // namespace

EditorControlsByTag buildEditorControls(CViewContainer& container, CControlListener* listener,
                                        const std::function<float(int32_t tag)>& valueOf)
{
    EditorControlsByTag byTag{};
    CBitmap* knobBitmap = new CBitmap(kEditorControls[0].bitmapId); // shared by the nine knobs

    for (const EditorControlSpec& spec : kEditorControls)
    {
        const bool sharedKnob = spec.kind == EditorControlKind::AnimKnob;
        CBitmap* bitmap = sharedKnob ? knobBitmap : new CBitmap(spec.bitmapId);
        const CRect rect = controlRect(*bitmap, spec);
        const int32_t imageHeight = spec.stackedImages > 0 ? bitmap->getHeight() / spec.stackedImages : 0;

        CControl* control = nullptr;
        switch (spec.kind)
        {
        case EditorControlKind::AnimKnob:
            control = new CAnimKnob(rect, listener, spec.tag, spec.stackedImages, imageHeight, bitmap, CPoint(0, 0));
            break;
        case EditorControlKind::VerticalSwitch:
            control = new CVerticalSwitch(rect, listener, spec.tag, spec.stackedImages, imageHeight,
                                          spec.stackedImages, bitmap, CPoint(0, 0));
            break;
        case EditorControlKind::OnOffButton:
            control = new COnOffButton(rect, listener, spec.tag, bitmap, COnOffButton::kPostListenerUpdate);
            break;
        }
        if (!sharedKnob)
            bitmap->release(); // the control holds its own reference now

        control->setValue(valueOf ? valueOf(spec.tag) : 0.f);
        container.addView(control);
        // The container holds the control; the creator's reference goes with
        // it when the container removes its views with release.
        if (spec.tag >= 0 && spec.tag < kEditorControlCount)
            byTag[static_cast<size_t>(spec.tag)] = control;
    }
    knobBitmap->release(); // the nine knobs hold theirs
    return byTag;
}
