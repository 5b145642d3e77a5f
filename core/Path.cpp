#include "core/Path.h"

namespace {
// Where the extension starts, or npos.
std::size_t ExtensionStart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    return dot != std::string::npos && dot >= start ? dot : std::string::npos;
}
} // namespace

std::string Extension(const std::string& path) {
    const std::size_t dot = ExtensionStart(path);
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string WithoutExtension(const std::string& path) {
    return path.substr(0, ExtensionStart(path));
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return WithoutExtension(slash == std::string::npos ? path : path.substr(slash + 1));
}

std::string ForceExtension(const std::string& path, const std::string& ext) {
    return WithoutExtension(path) + ext;
}
