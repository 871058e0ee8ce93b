// SPDX-License-Identifier: GPL-3.0-or-later
// vorla-snapshot - draws the plug-in's editor for given settings into a PNG.
//
//     vorla-snapshot OUT.png [--program N] [--chunk FILE] [--set NAME=VALUE ...]
//
// The effect's controls are created directly (no host, no amplifier), the
// settings are applied as a host would apply them, and the editor's view
// tree is built on a frame without a window and drawn into its back buffer,
// which is written out.
#include "snapshot_options.h"

#include "cli/amp_options.h"
#include "editor/editor_layout.h"
#include "effect/effect_state.h"
#include "effect/parameters.h"
#include "gui/cbitmap.h"
#include "gui/cframe.h"
#include "gui/resources.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

int fail(const std::string& message)
{
    std::fprintf(stderr, "vorla-snapshot: %s\n", message.c_str());
    return 1;
}

/// The editor's parameter names, in index order.
std::vector<std::string> parameterNames()
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < kNumParams; ++i)
    {
        char text[vorla::kParameterNameSize] = {};
        vorla::EffectState::parameterName(i, text, sizeof(text));
        names.emplace_back(text);
    }
    return names;
}

struct PngWriteState
{
    std::FILE* file;
};

[[noreturn]] void pngWriteError(png_structp png, png_const_charp /*message*/)
{
    png_longjmp(png, 1);
}

void pngWriteWarning(png_structp, png_const_charp) {}

/// Encodes the raster into an initialised libpng writer.  Errors unwind to
/// the setjmp here, so this function keeps no local that changes after it.
bool encodePng(png_structp png, png_infop info, std::FILE* file, const vorla::Raster& image,
               std::vector<uint8_t>& rgb)
{
    if (setjmp(png_jmpbuf(png)) != 0)
        return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()),
                 static_cast<png_uint_32>(image.height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < image.height(); ++y)
    {
        const uint8_t* p = image.row(y);
        for (int32_t x = 0; x < image.width(); ++x, p += 4)
        {
            rgb[static_cast<size_t>(x) * 3 + 0] = p[2];
            rgb[static_cast<size_t>(x) * 3 + 1] = p[1];
            rgb[static_cast<size_t>(x) * 3 + 2] = p[0];
        }
        png_write_row(png, rgb.data());
    }
    png_write_end(png, info);
    return true;
}

/// Writes the raster (opaque premultiplied BGRA) as an 8-bit RGB PNG.
bool writePng(const std::string& path, const vorla::Raster& image, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
    {
        error = "cannot write '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(image.width()) * 3);
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngWriteError, pngWriteWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info && encodePng(png, info, file, image, rgb);
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (std::fclose(file) != 0)
        ok = false;
    if (!ok)
    {
        std::remove(path.c_str());
        error = "cannot write '" + path + "'";
    }
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    SnapshotOptions options;
    std::string error;
    if (!parseSnapshotOptions(argc, argv, options, error))
    {
        std::fprintf(stderr, "vorla-snapshot: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (options.help)
    {
        std::fputs(snapshotUsage(), stdout);
        return 0;
    }

    auto effect = std::make_unique<vorla::EffectState>();

    // 1. A chunk: a program (336 bytes) into the current program, or the bank.
    if (options.chunkFile)
    {
        std::ifstream in(*options.chunkFile, std::ios::binary);
        if (!in)
            return fail("cannot read chunk file '" + *options.chunkFile + "'");
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        if (in.bad())
            return fail("cannot read chunk file '" + *options.chunkFile + "'");
        const bool isProgram = bytes.size() == sizeof(VorlaProgram);
        if (!isProgram && bytes.size() != vorla::kBankChunkSize)
            return fail("chunk file '" + *options.chunkFile + "' has " +
                        std::to_string(bytes.size()) + " bytes; a program chunk has " +
                        std::to_string(sizeof(VorlaProgram)) + " and a bank " +
                        std::to_string(vorla::kBankChunkSize));
        const auto scope = isProgram ? vorla::StateScope::Program : vorla::StateScope::Bank;
        if (!effect->loadState(scope, bytes.data(), bytes.size()))
            return fail("the effect refused chunk file '" + *options.chunkFile + "'");
    }
    // 2. A program.
    if (options.program)
        effect->selectProgram(*options.program);
    // 3. Single parameters, in order.
    for (const auto& [name, value] : options.sets)
    {
        const int32_t index = vorla::cli::findParameter(parameterNames(), name);
        if (index < 0)
            return fail("unknown parameter '" + name +
                        "' (known: " + vorla::cli::parameterList(parameterNames()) + ")");
        effect->setParameter(index, value);
    }

    // The editor's view, windowless: background and the fifteen controls
    // showing the effect's values.
    auto* background = new CBitmap(vorla::kBackgroundBitmapId);
    if (background->getWidth() <= 0 || background->getHeight() <= 0)
    {
        background->release();
        return fail("the embedded background image is missing");
    }
    auto* frame =
        new CFrame(CRect(0, 0, background->getWidth(), background->getHeight()), nullptr, nullptr);
    frame->setBackground(background);
    const vorla::EffectState& state = *effect;
    buildEditorControls(*frame, nullptr, [&state](int32_t tag) { return state.parameter(tag); });
    frame->draw(nullptr);

    const bool written = writePng(options.output, frame->getBackBuffer()->raster(), error);
    delete frame;
    background->release();
    if (!written)
        return fail(error);
    return 0;
}
