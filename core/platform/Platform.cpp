#include "core/platform/Platform.h"

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>

namespace dw {

bool IsKernelSupported(const std::optional<KernelVersion>& version) { return version && version->major >= 5; }

std::optional<KernelVersion> KernelVersionFromRelease(std::string_view release) {
    int kernelMajor = 0;
    int kernelMinor = 0;
    const char* p = release.data();
    const char* end = p + release.size();
    auto r = std::from_chars(p, end, kernelMajor);
    if (r.ec != std::errc() || r.ptr == p) return std::nullopt;
    if (r.ptr < end && *r.ptr == '.') {
        auto r2 = std::from_chars(r.ptr + 1, end, kernelMinor);
        if (r2.ec != std::errc()) kernelMinor = 0;
    }
    if (kernelMajor < 0) return std::nullopt;
    return KernelVersion{kernelMajor, kernelMinor};
}

std::optional<KernelVersion> QueryKernelVersion() {
    utsname name{};
    if (uname(&name) != 0) return std::nullopt;
    return KernelVersionFromRelease(name.release);
}

bool CheckOsVersion() { return IsKernelSupported(QueryKernelVersion()); }

bool IsScreenSupported(const ScreenInfo& s) {
    return s.width >= 1024 && s.height >= 768 && s.bitsPerPixel >= 15 && std::max(s.dpiX, s.dpiY) <= 150;
}

std::string CommandLineFileNamePosix(const std::vector<std::string>& args,
                                     const std::function<bool(const std::string&)>& exists) {
    for (const auto& a : args) {
        if (!a.empty() && a[0] == '-') continue;
        if (!a.empty() && a[0] == '/' && a.find('/', 1) == std::string::npos && !exists(a)) continue;
        return a;
    }
    return {};
}

namespace {
std::string DirName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return path.substr(0, slash);
}
}  // namespace

std::string FindInstallPath(const std::string& exePath, const std::function<bool(const std::string&)>& isDir) {
    const std::string exeDir = DirName(exePath);
    if (exeDir.empty()) return {};
    const std::string prefix = DirName(exeDir);
    const std::string candidate = (prefix == "/" ? std::string() : prefix) + "/share/driftwell";
    if (isDir(candidate)) return candidate;
    return {};
}

std::string ReadInstallPath() {
    std::string exe(PATH_MAX, '\0');
    const ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size() - 1);
    if (n <= 0) return {};
    exe.resize(static_cast<size_t>(n));
    return FindInstallPath(exe, [](const std::string& p) {
        struct stat st {};
        return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    });
}

std::string JoinInstallPath(const std::string& folder, const std::string& fileName) {
    return folder + "/" + fileName;
}

}  // namespace dw
