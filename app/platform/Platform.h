#pragma once
// What the operating system tells the application at start-up, and the pure
// decisions the application takes on it. Nothing here includes Qt: the Qt side
// (app/platform/QtPlatform.h) only reads the screen and hands the numbers over,
// so the decision tables can be tested with any version or screen we like.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dw {

// The operating-system version as the start-up check sees it.
struct OsVersion {
    int major = 0;
    int minor = 0;
};

// Supported exactly when the major version is 5 or 6; no version at all (the
// system could not be asked) is not supported.
bool IsOsVersionSupported(const std::optional<OsVersion>& version);

// Turns a Linux kernel release ("6.1.0-18-amd64") into the version the check
// above judges. Every kernel from 5 on is a kernel we build and test for, so it
// reports major 6 (a supported version); older kernels report their own major
// (4, 3, ...) and fail the check. An unreadable release gives no version.
std::optional<OsVersion> OsVersionFromKernelRelease(std::string_view release);

// Asks the running kernel (uname) and maps it as above.
std::optional<OsVersion> QueryOsVersion();

// True when the platform says the operating system is supported.
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
// excluded) that is not a switch, that is, does not begin with "/" or "-".
// Empty when there is none. Note that on Linux an absolute path begins with
// "/"; see CommandLineFileNamePosix for the rule the application uses.
std::string CommandLineFileName(const std::vector<std::string>& args);

// The same rule with one change for Linux: "/" is the root of every absolute
// path, so an argument beginning with "/" is a switch only when it does not
// name an existing file (checked through `exists`). "-" always marks a switch.
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
