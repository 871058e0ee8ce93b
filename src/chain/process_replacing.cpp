// processReplacing: the amplifier chain replaces this body.  Until then the
// effect outputs silence, which keeps a host that already processes safe.
#include "plugin/vorla.h"

void Vorla::processReplacing(float** /*inputs*/, float** outputs, int32_t sampleFrames) noexcept
{
    if (sampleFrames <= 0)
        return;
    for (int32_t channel = 0; channel < 2; ++channel)
        for (int32_t i = 0; i < sampleFrames; ++i)
            outputs[channel][i] = 0.0f;
}
