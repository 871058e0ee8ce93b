// SPDX-License-Identifier: GPL-3.0-or-later
// ttl_generator.cpp - writes the bundle's Turtle files from the effect core,
// so the ports, their names and defaults and the presets are what the
// amplifier itself says, never a second copy kept by hand.
//
//   vorla-lv2-ttl <bundle directory>
//
// writes manifest.ttl (what the bundle holds: the plug-in, its UI, the ten
// presets), vorla.ttl (the plug-in's ports, features, state property and
// UI) and presets.ttl (the ten programs of the bank as presets: their names,
// port values and program records).  A file whose content would not change
// is left alone.  Errors: one line on stderr, exit status 1.
#include "effect/effect_state.h"
#include "effect/identity.h"
#include "lv2/lv2_ports.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

using namespace vorla;
using namespace vorla::lv2;

constexpr const char* kPrefixes = R"(@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .
@prefix doap:  <http://usefulinc.com/ns/doap#> .
@prefix foaf:  <http://xmlns.com/foaf/0.1/> .
@prefix log:   <http://lv2plug.in/ns/ext/log#> .
@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .
@prefix patch: <http://lv2plug.in/ns/ext/patch#> .
@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .
@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .
@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .
@prefix rsz:   <http://lv2plug.in/ns/ext/resize-port#> .
@prefix state: <http://lv2plug.in/ns/ext/state#> .
@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .
@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .
@prefix xsd:   <http://www.w3.org/2001/XMLSchema#> .

)";

std::string iri(const std::string& uri)
{
    return "<" + uri + ">";
}

/// A Turtle string literal (quotes and backslashes escaped).
std::string literal(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text)
    {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

/// A decimal that reads back as the same float (Turtle needs the point).
std::string decimal(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    std::string out = text;
    if (out.find_first_of(".e") == std::string::npos)
        out += ".0";
    return out;
}

std::string base64(const unsigned char* data, std::size_t size)
{
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < size; i += 3)
    {
        const uint32_t a = data[i];
        const uint32_t b = i + 1 < size ? data[i + 1] : 0;
        const uint32_t c = i + 2 < size ? data[i + 2] : 0;
        const uint32_t word = a << 16 | b << 8 | c;
        out += kDigits[word >> 18 & 63];
        out += kDigits[word >> 12 & 63];
        out += i + 1 < size ? kDigits[word >> 6 & 63] : '=';
        out += i + 2 < size ? kDigits[word & 63] : '=';
    }
    return out;
}

std::string presetUri(int32_t program)
{
    return kPresetUriPrefix + std::to_string(program + 1);
}

std::string programName(const EffectState& state, int32_t program)
{
    std::array<char, kProgramNameSize> name{};
    state.programName(program, name.data(), name.size());
    return name.data();
}

std::string manifest(const EffectState& bank)
{
    std::ostringstream out;
    out << kPrefixes;
    out << iri(kPluginUri) << "\n"
        << "    a lv2:Plugin ;\n"
        << "    lv2:binary " << iri(kDspBinary) << " ;\n"
        << "    rdfs:seeAlso <vorla.ttl> .\n\n";
    out << iri(kUiUri) << "\n"
        << "    a ui:X11UI ;\n"
        << "    lv2:binary " << iri(kUiBinary) << " ;\n"
        << "    rdfs:seeAlso <vorla.ttl> .\n";
    for (int32_t program = 0; program < kNumPrograms; ++program)
        out << "\n"
            << iri(presetUri(program)) << "\n"
            << "    a pset:Preset ;\n"
            << "    lv2:appliesTo " << iri(kPluginUri) << " ;\n"
            << "    rdfs:label " << literal(programName(bank, program)) << " ;\n"
            << "    rdfs:seeAlso <presets.ttl> .\n";
    return out.str();
}

std::string controlPort(int32_t index)
{
    std::ostringstream out;
    std::array<char, kParameterNameSize> name{};
    EffectState::parameterName(index, name.data(), name.size());
    out << "[\n"
        << "        a lv2:InputPort , lv2:ControlPort ;\n"
        << "        lv2:index " << index << " ;\n"
        << "        lv2:symbol " << literal(kParameterSymbols[static_cast<std::size_t>(index)])
        << " ;\n"
        << "        lv2:name " << literal(name.data()) << " ;\n"
        << "        lv2:default " << decimal(parameterDefault(index)) << " ;\n"
        << "        lv2:minimum 0.0 ;\n"
        << "        lv2:maximum 1.0";
    if (isSwitchParameter(index))
        out << " ;\n        lv2:portProperty lv2:toggled";
    out << "\n    ]";
    return out.str();
}

std::string audioPort(uint32_t index, bool input, const char* symbol, const char* name)
{
    std::ostringstream out;
    out << "[\n"
        << "        a lv2:AudioPort , " << (input ? "lv2:InputPort" : "lv2:OutputPort") << " ;\n"
        << "        lv2:index " << index << " ;\n"
        << "        lv2:symbol " << literal(symbol) << " ;\n"
        << "        lv2:name " << literal(name) << "\n"
        << "    ]";
    return out.str();
}

std::string description()
{
    std::ostringstream out;
    out << kPrefixes;
    out << iri(kProgramKey) << "\n"
        << "    a rdf:Property ;\n"
        << "    rdfs:label \"program record\" ;\n"
        << "    rdfs:comment \"The whole amplifier: the fifteen values and the knob memories of "
           "the three voicings.\" ;\n"
        << "    rdfs:range " << iri(kProgramRecordType) << " .\n\n";
    out << iri(kProgramRecordType) << "\n"
        << "    a rdfs:Class ;\n"
        << "    rdfs:subClassOf atom:Atom ;\n"
        << "    rdfs:label \"program record, format 1\" ;\n"
        << "    rdfs:comment \"336 bytes, little-endian: the name (24 bytes), the fifteen values "
           "(floats), a reserved word, the Clean, Crunch and Overdrive memories (doubles).\" "
           ".\n\n";
    out << iri(kMemoriesMessage) << "\n"
        << "    a rdfs:Class ;\n"
        << "    rdfs:subClassOf atom:Object ;\n"
        << "    rdfs:label \"voicing memories\" ;\n"
        << "    rdfs:comment \"From the plug-in to its editor: the program record (key "
        << kProgramKey << "), whose knob memories the editor recalls.\" .\n\n";

    out << iri(kPluginUri) << "\n"
        << "    a lv2:Plugin , lv2:SimulatorPlugin , doap:Project ;\n"
        << "    doap:name " << literal(kProductName) << " ;\n"
        << "    doap:license <https://spdx.org/licenses/GPL-3.0-or-later> ;\n"
        << "    doap:maintainer [\n"
        << "        foaf:name " << literal(kVendorName) << "\n"
        << "    ] ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable , urid:map , log:log ;\n"
        << "    lv2:extensionData state:interface ;\n"
        << "    ui:ui " << iri(kUiUri) << " ;\n"
        << "    lv2:port ";
    for (int32_t index = 0; index < kNumParams; ++index)
        out << controlPort(index) << " , ";
    out << audioPort(kAudioIn1, true, "in_1", "Input 1") << " , "
        << audioPort(kAudioIn2, true, "in_2", "Input 2 (stereo)") << " , "
        << audioPort(kAudioOut1, false, "out_1", "Output 1") << " , "
        << audioPort(kAudioOut2, false, "out_2", "Output 2") << " , ";
    out << "[\n"
        << "        a lv2:InputPort , atom:AtomPort ;\n"
        << "        atom:bufferType atom:Sequence ;\n"
        << "        atom:supports patch:Message ;\n"
        << "        lv2:designation lv2:control ;\n"
        << "        lv2:index " << kControlIn << " ;\n"
        << "        lv2:symbol \"control\" ;\n"
        << "        lv2:name \"Control\"\n"
        << "    ] , [\n"
        << "        a lv2:OutputPort , atom:AtomPort ;\n"
        << "        atom:bufferType atom:Sequence ;\n"
        << "        atom:supports " << iri(kMemoriesMessage) << " ;\n"
        << "        lv2:designation lv2:control ;\n"
        << "        lv2:index " << kNotifyOut << " ;\n"
        << "        lv2:symbol \"notify\" ;\n"
        << "        lv2:name \"Notify\" ;\n"
        << "        rsz:minimumSize " << kNotifyBufferBytes << "\n"
        << "    ] .\n\n";

    out << iri(kUiUri) << "\n"
        << "    a ui:X11UI ;\n"
        << "    lv2:binary " << iri(kUiBinary) << " ;\n"
        << "    lv2:requiredFeature ui:idleInterface , ui:parent , urid:map ;\n"
        << "    lv2:optionalFeature ui:touch , ui:resize , ui:noUserResize ;\n"
        << "    lv2:extensionData ui:idleInterface ;\n"
        << "    ui:portNotification [\n"
        << "        ui:plugin " << iri(kPluginUri) << " ;\n"
        << "        lv2:symbol \"notify\" ;\n"
        << "        ui:protocol atom:eventTransfer\n"
        << "    ] .\n";
    return out.str();
}

std::string presets(EffectState& bank)
{
    std::ostringstream out;
    out << kPrefixes;
    for (int32_t program = 0; program < kNumPrograms; ++program)
    {
        // The program as selecting it leaves the amplifier: its switches,
        // the knobs its voicing recalls, and its record.
        bank.selectProgram(program);
        std::array<unsigned char, stateSize(StateScope::Program)> record{};
        bank.saveState(StateScope::Program, record.data(), record.size());

        out << iri(presetUri(program)) << "\n"
            << "    a pset:Preset ;\n"
            << "    lv2:appliesTo " << iri(kPluginUri) << " ;\n"
            << "    rdfs:label " << literal(programName(bank, program)) << " ;\n"
            << "    lv2:port ";
        for (int32_t index = 0; index < kNumParams; ++index)
            out << (index > 0 ? " , " : "") << "[\n"
                << "        lv2:symbol "
                << literal(kParameterSymbols[static_cast<std::size_t>(index)]) << " ;\n"
                << "        pset:value " << decimal(bank.parameter(index)) << "\n"
                << "    ]";
        out << " ;\n"
            << "    state:state [\n"
            << "        " << iri(kProgramKey) << " [\n"
            << "            a " << iri(kProgramRecordType) << " ;\n"
            << "            rdf:value " << literal(base64(record.data(), record.size()))
            << "^^xsd:base64Binary\n"
            << "        ]\n"
            << "    ] .\n\n";
    }
    return out.str();
}

/// Writes `text` to `path` unless the file holds it already.
bool writeFile(const std::string& path, const std::string& text)
{
    {
        std::ifstream in(path, std::ios::binary);
        if (in)
        {
            const std::string old((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
            if (old == text)
                return true;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
    {
        std::fprintf(stderr, "vorla-lv2-ttl: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: vorla-lv2-ttl <bundle directory>\n");
        return 1;
    }
    const std::string bundle = std::string(argv[1]) + "/";
    EffectState bank;
    const bool written = writeFile(bundle + "manifest.ttl", manifest(bank)) &&
                         writeFile(bundle + "vorla.ttl", description()) &&
                         writeFile(bundle + "presets.ttl", presets(bank));
    return written ? 0 : 1;
}
