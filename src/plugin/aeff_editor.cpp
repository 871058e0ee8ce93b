// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/aeff_editor.h"

bool AEffEditor::getRect(ERect** rect)
{
    if (rect != nullptr)
        *rect = nullptr;
    return false;
}

bool AEffEditor::open(void* window)
{
    systemWindow = window;
    return false;
}
