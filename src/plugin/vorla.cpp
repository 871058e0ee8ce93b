#include "plugin/vorla.h"

#include "plugin/host_text.h"

namespace {

constexpr const char* kEffectName = "Tarvek_Vorla_Vesk_v2_11";
constexpr const char* kVendorName = "Zembo Plugins";
constexpr int32_t kVendorVersion = 2010;
constexpr int32_t kUniqueId = fourCharId('Z', 'K', 'W', 'T');

} // namespace

Vorla::Vorla(audioMasterCallback master) : AudioEffectX(master, kNumPrograms, kNumParams)
{
    // The member initialisers have put every value, flag, memory and
    // signal-chain state in its zero form; the resamplers are cleared here
    // explicitly, before the first design loads their coefficients.  Fill
    // the bank, then select the first program: that sets every parameter and
    // switch flag and, through the quality switch, the oversampling factor
    // for the default rate and the filter designs.
    for (vorla::AmpChannel& channel : ampChannels)
        vorla::resetAmpChannel(channel);
    const VorlaProgram init = vorla::makeInitProgram();
    for (VorlaProgram& program : programs)
        program = init;
    setProgram(0);
    // No block runs yet: perform the design setProgram(0) asked for here.
    applyPendingChanges();

    canProcessReplacing(true);
    programsAreChunks(true);
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(kUniqueId);

    // The editor is created here, once the parameters hold their values.  Its
    // construction registers it (editor, effFlagsHasEditor); without memory
    // for it the effect runs without an editor.
    if (AEffEditor* created = createVorlaEditor(*this))
        editor = created;

    resume();

    // Last, the operating points of the fourteen triode stages, at the
    // processing rate designed above (the host rate times the oversampling
    // factor, formed in float like the designs' rate).
    for (vorla::AmpChannel& channel : ampChannels)
        vorla::initAmpChannelStages(channel, appliedDesign.designRate);
}

bool Vorla::getEffectName(char* name)
{
    vorla::copyBounded(name, kEffectName, kVstMaxEffectNameLen);
    return true;
}

bool Vorla::getVendorString(char* text)
{
    vorla::copyBounded(text, kVendorName, kVstMaxVendorStrLen);
    return true;
}

bool Vorla::getProductString(char* text)
{
    vorla::copyBounded(text, kEffectName, kVstMaxProductStrLen);
    return true;
}

int32_t Vorla::getVendorVersion()
{
    return kVendorVersion;
}
