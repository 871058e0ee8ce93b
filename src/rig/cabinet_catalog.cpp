// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig/cabinet_catalog.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace vorla {

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isResponseFile(const fs::path& path)
{
    const std::string extension = lower(path.extension().string());
    return extension == ".wav" || extension == ".flac" || extension == ".aif" ||
           extension == ".aiff";
}

} // namespace

std::string builtinCabinetNames()
{
    std::string names;
    for (std::size_t i = 0; i < kBuiltinCabinetsCount; ++i)
        names += (i ? ", " : "") + std::string(kBuiltinCabinets[i].name);
    return names;
}

std::vector<CabinetChoice> listCabinets(const std::string& userFolder)
{
    std::vector<CabinetChoice> choices;
    for (std::size_t i = 0; i < kBuiltinCabinetsCount; ++i)
        choices.push_back({kBuiltinCabinets[i].name, "", &kBuiltinCabinets[i]});
    std::error_code ec;
    if (userFolder.empty() || !fs::is_directory(userFolder, ec))
        return choices;
    std::vector<CabinetChoice> files;
    for (const auto& entry : fs::directory_iterator(userFolder, ec))
        if (entry.is_regular_file(ec) && isResponseFile(entry.path()))
            files.push_back({entry.path().filename().string(), entry.path().string(), nullptr});
    std::sort(files.begin(), files.end(),
              [](const CabinetChoice& a, const CabinetChoice& b) { return a.name < b.name; });
    choices.insert(choices.end(), files.begin(), files.end());
    return choices;
}

bool findCabinet(const std::string& nameOrFile, const std::string& userFolder,
                 CabinetChoice& choice, std::string& error)
{
    const std::string wanted = lower(nameOrFile);
    for (std::size_t i = 0; i < kBuiltinCabinetsCount; ++i)
        if (wanted == kBuiltinCabinets[i].name)
        {
            choice = {kBuiltinCabinets[i].name, "", &kBuiltinCabinets[i]};
            return true;
        }
    std::error_code ec;
    if (!nameOrFile.empty() && fs::is_regular_file(nameOrFile, ec))
    {
        choice = {fs::path(nameOrFile).filename().string(), nameOrFile, nullptr};
        return true;
    }
    for (const CabinetChoice& candidate : listCabinets(userFolder))
        if (!candidate.path.empty() &&
            (candidate.name == nameOrFile || fs::path(candidate.name).stem() == nameOrFile))
        {
            choice = candidate;
            return true;
        }
    error = "no cabinet '" + nameOrFile + "': not a built-in (" + builtinCabinetNames() +
            "), a file, or a response in " +
            (userFolder.empty() ? "the cabinet folder" : userFolder);
    return false;
}

std::unique_ptr<ConvolutionEngine> buildCabinet(const CabinetChoice& choice, double rate,
                                                int32_t period, std::string& error)
{
    ImpulseResponse source;
    const bool read = choice.builtin != nullptr
                          ? readImpulseBytes(choice.builtin->data, choice.builtin->size,
                                             choice.name, source, error)
                          : readImpulseFile(choice.path, source, error);
    if (!read)
        return nullptr;
    ImpulseResponse prepared;
    if (!prepareImpulse(source, rate, prepared, error))
        return nullptr;
    return ConvolutionEngine::create(prepared, period, error);
}

} // namespace vorla
