#pragma once
// Cutting native paths at their last separator and their last period.
//
// Paths are native byte strings (UTF-8 on Linux) split at '/', byte by byte: a
// UTF-8 character never contains the byte of '/' or '.', so no lead-byte rules
// apply here (they would swallow the separator after some UTF-8 characters).

#include <string>
#include <string_view>

namespace quarvel::platform {

inline constexpr char kPathSeparator = '/';

// Everything before the last separator; empty without one.
std::string GetDirectoryPart(std::string_view path);
// Between the last separator and the last period; empty when there is no period or
// the last period stands before the last separator.
std::string GetBaseName(std::string_view path);
// After the last period; the whole path when it has none.
std::string GetExtension(std::string_view path);
// After the last separator; the whole path without one.
std::string GetFileNameWithExtension(std::string_view path);

// `name` in the folder of `path`: the directory part, a separator and the name,
// or the name alone for a path without any separator (relative to the current
// folder, never the root).
std::string SiblingPath(std::string_view path, std::string_view name);

// The folder that holds `path`, as the system names it: "." for a path without a
// separator, "/" for one in the root.
std::string ContainingFolder(std::string_view path);

// `name` inside `folder`, with one separator between them.
std::string JoinPath(std::string_view folder, std::string_view name);

// A folder path without trailing separators; the root itself stays "/".
std::string TrimTrailingSeparators(std::string folder);

}  // namespace quarvel::platform
