// SPDX-License-Identifier: GPL-3.0-or-later
// editor_interface.h - what the frame needs of the editor that owns it.
//
// The toolkit knows nothing of the effect; the plug-in's editor class
// implements this interface and hands itself to the frame it creates.
#pragma once

#include <cstdint>

class VSTGUIEditorInterface
{
public:
    virtual ~VSTGUIEditorInterface() = default;

    /// A control starts a gesture on parameter `index` (UI thread).  The
    /// answer (the host's) is not used by the toolkit.
    virtual bool beginEdit(int32_t index) = 0;
    /// The gesture on `index` ended (UI thread).
    virtual bool endEdit(int32_t index) = 0;
    /// One idle pass: redraw dirty views, let the window repaint, let the host
    /// idle.  Called by controls' mouse loops through CFrame::runIdle; it
    /// paces those loops (it may sleep briefly).  UI thread.
    virtual void doIdleStuff() = 0;
};
