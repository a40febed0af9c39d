#pragma once
// What the operating system tells the application at start-up, and the pure
// decisions the application takes on it. Nothing here includes Qt: the
// application only reads the screen and hands the numbers over, so the
// decision tables can be tested with any kernel or screen we like.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dw {

// The version of the running Linux kernel.
struct KernelVersion {
    int major = 0;
    int minor = 0;
};

// Every kernel from 5 on is a kernel we build and test for; older ones are
// not supported, and neither is a kernel that could not be asked.
bool IsKernelSupported(const std::optional<KernelVersion>& version);

// The version at the start of a kernel release ("6.1.0-18-amd64" is 6.1); an
// unreadable release gives none.
std::optional<KernelVersion> KernelVersionFromRelease(std::string_view release);

// Asks the running kernel (uname).
std::optional<KernelVersion> QueryKernelVersion();

// The start-up check of the operating system: true when the running kernel
// is supported.
bool CheckOsVersion();

// The screen as the start-up check sees it: device-independent pixels.
struct ScreenInfo {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int dpiX = 96;
    int dpiY = 96;
};

// At least 1024 x 768, at least 15 bits per pixel, and the larger of the two
// logical pixel densities at most 150 per inch.
bool IsScreenSupported(const ScreenInfo& screen);

// The file name handed to the main window: the first argument (program name
// excluded) that is not a switch, empty when there is none. "-" always marks a
// switch; "/" marks one only when the argument holds no other slash and does
// not name an existing file (checked through `exists`), since on Linux it also
// begins every absolute path: a missing "/home/ann/a.dwv" is a file name, and
// opening it says that it is missing.
std::string CommandLineFileNamePosix(const std::vector<std::string>& args,
                                     const std::function<bool(const std::string&)>& exists);

// The installation's data folder for an executable at `exePath`:
// <exe dir>/../share/driftwell when that folder exists (installed, and the
// build tree mirrors that layout), else empty. `isDir` answers whether a path
// is a folder, so tests can describe any tree.
std::string FindInstallPath(const std::string& exePath,
                            const std::function<bool(const std::string&)>& isDir);

// The data folder for the running executable (/proc/self/exe), or empty.
std::string ReadInstallPath();

// Folder, separator, file name. With no folder the result is the separator
// followed by the name, which opens nothing, and the caller says so.
std::string JoinInstallPath(const std::string& folder, const std::string& fileName);

}  // namespace dw
