#include "platform/paths.h"

namespace quarvel::platform {
namespace {

constexpr auto npos = std::string_view::npos;

}  // namespace

std::string GetDirectoryPart(std::string_view path) {
    auto slash = path.rfind(kPathSeparator);
    return slash == npos ? std::string() : std::string(path.substr(0, slash));
}

std::string GetBaseName(std::string_view path) {
    auto slash = path.rfind(kPathSeparator);
    auto dot = path.rfind('.');
    if (dot == npos) return {};
    if (slash == npos) return std::string(path.substr(0, dot));
    if (dot < slash) return {};
    return std::string(path.substr(slash + 1, dot - slash - 1));
}

std::string GetExtension(std::string_view path) {
    auto dot = path.rfind('.');
    return dot == npos ? std::string(path) : std::string(path.substr(dot + 1));
}

std::string GetFileNameWithExtension(std::string_view path) {
    auto slash = path.rfind(kPathSeparator);
    return slash == npos ? std::string(path) : std::string(path.substr(slash + 1));
}

std::string SiblingPath(std::string_view path, std::string_view name) {
    if (path.find(kPathSeparator) == npos) return std::string(name);
    std::string result = GetDirectoryPart(path);
    result += kPathSeparator;
    result += name;
    return result;
}

std::string ContainingFolder(std::string_view path) {
    if (path.find(kPathSeparator) == npos) return ".";
    std::string folder = GetDirectoryPart(path);
    return folder.empty() ? std::string(1, kPathSeparator) : folder;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
    path += name;
    return path;
}

std::string TrimTrailingSeparators(std::string folder) {
    while (folder.size() > 1 && folder.back() == kPathSeparator) folder.pop_back();
    return folder;
}

}  // namespace quarvel::platform
