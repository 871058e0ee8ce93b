// SPDX-License-Identifier: GPL-3.0-or-later
// library_loader.h - the platform's dynamic loader, as the host library
// uses it: load a plug-in file, find a symbol in it, unload it.
// Implemented once per platform: library_posix.cpp (dlopen), library_win32.cpp
// (LoadLibraryA); tools/hostlib/CMakeLists.txt compiles one of them.
#pragma once

#include <string>

namespace vorla::host::loader {

/// Loads the library at `path`, resolving all of its symbols now; null with
/// a one-line reason in `error` on failure.
void* load(const std::string& path, std::string& error);

/// The address of exported `name` in `library`, or null.
void* symbol(void* library, const char* name);

/// Drops the reference `load` took.
void unload(void* library);

} // namespace vorla::host::loader
