#include "path_parts.h"

namespace tqk {

namespace {

template <typename C>
bool IsSeparator(C c) {
    return c == C('\\') || c == C('/');
}

// Position after the last separator (0 without one).
template <typename C>
size_t NameStart(std::basic_string_view<C> path) {
    for (size_t i = path.size(); i > 0; --i)
        if (IsSeparator(path[i - 1])) return i;
    return 0;
}

// Position of the extension's "." in the last component, or npos.
template <typename C>
size_t ExtensionDot(std::basic_string_view<C> path) {
    const size_t start = NameStart(path);
    const size_t dot = path.rfind(C('.'));
    return dot == std::basic_string_view<C>::npos || dot < start ? path.npos : dot;
}

template <typename C>
std::basic_string<C> Folder(std::basic_string_view<C> path) {
    const size_t start = NameStart(path);
    if (start == 0) return {};
    std::basic_string<C> folder(path.substr(0, start));
    folder.back() = C('\\');
    return folder;
}

template <typename C>
std::basic_string<C> Name(std::basic_string_view<C> path) {
    return std::basic_string<C>(path.substr(NameStart(path)));
}

template <typename C>
std::basic_string<C> WithoutExtension(std::basic_string_view<C> path) {
    const size_t dot = ExtensionDot(path);
    return std::basic_string<C>(dot == path.npos ? path : path.substr(0, dot));
}

template <typename C>
std::basic_string<C> NameWithoutExtension(std::basic_string_view<C> path) {
    const std::basic_string<C> stem = WithoutExtension(path);
    return Name(std::basic_string_view<C>(stem));
}

template <typename C>
std::basic_string<C> Extension(std::basic_string_view<C> path) {
    const size_t dot = ExtensionDot(path);
    if (dot == path.npos) return {};
    std::basic_string<C> ext(path.substr(dot + 1));
    for (C& c : ext)
        if (c >= C('A') && c <= C('Z')) c = C(c - C('A') + C('a'));
    return ext;
}

template <typename C>
std::basic_string<C> TrailingSeparator(std::basic_string_view<C> folder) {
    std::basic_string<C> f(folder);
    if (f.empty() || !IsSeparator(f.back())) f += C('\\');
    return f;
}

}  // namespace

std::string FolderOf(std::string_view path) { return Folder(path); }
std::wstring FolderOf(std::wstring_view path) { return Folder(path); }
std::string FileNameOf(std::string_view path) { return Name(path); }
std::wstring FileNameOf(std::wstring_view path) { return Name(path); }
std::string FileNameWithoutExtension(std::string_view path) { return NameWithoutExtension(path); }
std::wstring FileNameWithoutExtension(std::wstring_view path) { return NameWithoutExtension(path); }
std::string ExtensionOf(std::string_view path) { return Extension(path); }
std::wstring ExtensionOf(std::wstring_view path) { return Extension(path); }
std::string PathWithoutExtension(std::string_view path) { return WithoutExtension(path); }
std::wstring PathWithoutExtension(std::wstring_view path) { return WithoutExtension(path); }
std::string WithTrailingSeparator(std::string_view folder) { return TrailingSeparator(folder); }
std::wstring WithTrailingSeparator(std::wstring_view folder) { return TrailingSeparator(folder); }

}  // namespace tqk
