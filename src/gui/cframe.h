// SPDX-License-Identifier: GPL-3.0-or-later
// cframe.h - the root of the view tree, bound to a window of the host.
//
// The frame is a container the size of the editor.  It owns a back buffer
// through which all drawing passes, routes presses, wheel and keys to its
// views, holds the focus and modal views, and forwards the controls' edit
// gestures and idle requests to the editor.  The window itself is the
// platform's (platform.h); without one (no parent window, or no window
// system compiled in) the frame works windowless and draws only into its
// back buffer.
//
// Drag and drop: no view of this toolkit accepts a drop, so the frame
// registers no drop target and routes no drag operations; the drop-active
// flag is kept as a plain value.
//
// Thread: everything runs on the thread that created the frame.
#pragma once

#include "gui/cdrawcontext.h"
#include "gui/cview.h"
#include "gui/editor_interface.h"
#include "gui/platform.h"

#include <cstdint>
#include <memory>

class CFrame : public CViewContainer
{
public:
    /// A frame of `size` in `parentWindow` (opaque platform handle, may be
    /// null) for `editor` (not owned, may be null).
    CFrame(const CRect& size, void* parentWindow, VSTGUIEditorInterface* editor);
    ~CFrame() override;

    // Drawing ----------------------------------------------------------------
    /// Draws the whole tree into `context` (the frame context when null).
    void draw(CDrawContext* context = nullptr) override;
    /// Draws what lies in `updateRect` into `context` (a window context when null).
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    /// Redraws dirty views into the back buffer and shows the result
    /// (called by the editor's idle).  Also handles the window's pending events.
    void idle();
    /// Update pass with a context: dirty views into the back buffer, then the
    /// whole frame copied to `context`.
    void update(CDrawContext* context) override;
    /// Marks dirty every child whose size overlaps `rect` (touching counts).
    void invalidate(const CRect& rect);
    /// Handles the window's pending events (the editor's idle pass, during
    /// mouse loops: presses that arrive while one is being handled are dropped).
    void dispatchPendingEvents();

    // Input ------------------------------------------------------------------
    void mouse(CDrawContext* context, CPoint& where, int32_t buttons = -1) override;
    bool onWheel(CDrawContext* context, const CPoint& where, int32_t axis, float distance) override;
    bool onWheel(CDrawContext* context, const CPoint& where, float distance) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;
    int32_t onKeyUp(VstKeyCode& keyCode) override;

    // Focus and modal view ----------------------------------------------------
    void setFocusView(CView* view);
    CView* getFocusView() const { return pFocusView; }
    /// Refused (false) when a modal view exists and another is given.
    bool setModalView(CView* view);
    CView* getModalView() const { return pModalView; }

    // Editor -------------------------------------------------------------------
    void beginEdit(int32_t index);
    void endEdit(int32_t index);
    void runIdle();
    VSTGUIEditorInterface* getEditor() const override { return pEditor; }
    /// vorla::Platform milliseconds when an editor exists, else 0.
    uint32_t getTicks() const;

    // Window -----------------------------------------------------------------
    /// Pointer position in frame coordinates (screen position minus the
    /// window's screen origin); (0, 0) windowless.
    bool getCurrentLocation(CPoint& where);
    void setCursor(int32_t type);
    bool setDropActive(bool value);
    bool isDropActive() const { return bDropActive; }
    bool isOpen() const { return bOpenFlag; }
    void setOpenFlag(bool flag) { bOpenFlag = flag; }
    bool setUpdatesDisabled(bool state)
    {
        bool before = bUpdatesDisabled;
        bUpdatesDisabled = state;
        return before;
    }
    bool getUpdatesDisabled() const { return bUpdatesDisabled; }
    bool isFirstDraw() const { return bFirstDraw; }
    void* getParentWindow() const { return pParentWindow; }
    vorla::PlatformWindow* getPlatformWindow() const { return window.get(); }
    /// This editor never resizes; answers false and changes nothing.
    bool setSize(int32_t width, int32_t height);

    /// The back buffer (frame-sized, created on first use).
    COffscreenContext* getBackBuffer();
    /// A context drawing into the back buffer that shows what it drew in the
    /// window when released.  Caller releases it.
    CDrawContext* createWindowContext();

    bool isTypeOf(const char* name) const override;

    /// A view leaves the tree: it stops being the focus or modal view.
    void forgetView(CView* view);

    // vorla::Platform entry points (called by the vorla::PlatformWindow) --------------------
    /// The window needs `area` (frame coordinates) repainted.
    void platformPaint(const CRect& area);
    /// A button went down at `where` (frame coordinates).
    void platformButtonPress(CPoint where);
    /// A vertical wheel turn of `distance` notches (positive away from the
    /// user) at `where`; true when a view took it.  A turn no view takes
    /// belongs to the host's window, and the platform passes it on.
    bool platformWheel(CPoint where, float distance);
    int32_t platformKeyDown(VstKeyCode keyCode);
    int32_t platformKeyUp(VstKeyCode keyCode);
    /// The window system destroyed the window (e.g. the host closed its
    /// window first): no drawing is attempted afterwards.
    void platformWindowDestroyed();

private:
    struct InputScope; // marks this frame's window as the one whose input is handled

    VSTGUIEditorInterface* pEditor = nullptr;
    void* pParentWindow = nullptr;
    CView* pModalView = nullptr;
    CView* pFocusView = nullptr;
    bool bFirstDraw = true;
    bool bOpenFlag = true;
    bool bDropActive = false;
    bool bUpdatesDisabled = false;
    std::unique_ptr<vorla::PlatformWindow> window;
    COffscreenContext* pBackBuffer = nullptr; // owned
    CDrawContext* pFrameContext = nullptr;    // not owned; the back buffer during updates
    int32_t inputDepth = 0;                   // nesting of press handling
    bool cursorChanged = false;
};
