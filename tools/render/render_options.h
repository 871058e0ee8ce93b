// render_options.h - the command line of vorla-render.
//
// Parsing checks everything that can be checked without the plug-in (numbers,
// ranges, option names, the --set value); names given to --set are resolved
// later against the names the loaded plug-in reports.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vorla::render {

enum class SampleFormat
{
    Float,
    Pcm16,
    Pcm24,
};

enum class Voicing
{
    Clean,
    Crunch,
    Overdrive,
};

/// One --set NAME=VALUE, with the value already checked to lie in 0..1.
struct ParameterSetting
{
    std::string name; // as typed: a parameter name or an index
    float value = 0.0f;
};

struct Options
{
    std::string input;
    std::string output;
    std::string pluginPath;     // empty: vorla.so next to the executable
    int blockSize = 512;        // 1..65536
    std::optional<int> program; // 0..9
    std::optional<Voicing> voicing;
    std::optional<bool> highQuality;
    bool stereo = false;
    std::string chunkFile;
    std::string saveChunkFile;
    double tailSeconds = 0.0;
    std::optional<SampleFormat> format; // unset: float, or PCM 24 for FLAC output
    std::vector<ParameterSetting> settings;
    bool quiet = false;
    bool help = false;
};

/// Parses argv.  On failure returns false with a one-line reason in `error`
/// (without the program-name prefix).
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

/// Parses a parameter value: a number within 0..1, or on/off, true/false,
/// yes/no.  False with a reason when it is neither.
bool parseParameterValue(const std::string& text, float& value, std::string& error);

/// The text of --help.
const char* usageText();

/// `text` in lower case (ASCII), for names and words compared without case.
std::string lowered(std::string text);

} // namespace vorla::render
