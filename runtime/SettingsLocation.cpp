#include "SettingsLocation.h"

#include "AppPath.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fstream>
#include <process.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifndef KESTRO_APP_ID
#error "KESTRO_APP_ID must name the application id (set by CMake)"
#endif

namespace {

#ifdef _WIN32
constexpr char Separator = '\\';
#else
constexpr char Separator = '/';
#endif

bool IsAbsolute(const std::string& path) {
#ifdef _WIN32
    return std::filesystem::path(path).is_absolute();
#else
    return !path.empty() && path.front() == '/';
#endif
}

std::string Join(std::string folder, std::string_view name) {
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == Separator))
        folder.pop_back();
    if (folder.empty() || (folder.back() != '/' && folder.back() != Separator))
        folder += Separator;
    folder += name;
    return folder;
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string FolderOf(std::string_view path) {
    const auto folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? "." : folder.string();
}

#ifdef _WIN32
// Directory permissions say little on Windows: try to create a file there.
bool CanCreateFilesIn(const std::string& folder) {
    const std::string probe =
        Join(folder, ".kestro-write-test-" + std::to_string(_getpid()) + ".tmp");
    bool created = false;
    {
        std::ofstream file(probe, std::ios::binary);
        created = file.is_open();
    }
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
    return created;
}
#else
std::string AccountHome() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr)
        return "";
    return found->pw_dir;
}

bool CanCreateFilesIn(const std::string& folder) {
    return access(folder.c_str(), W_OK | X_OK) == 0;
}
#endif

} // namespace

std::string_view ApplicationId() {
    return KESTRO_APP_ID;
}

std::string UserConfigHome(const TSettingsEnvironment& environment) {
#ifdef _WIN32
    return IsAbsolute(environment.AppData) ? environment.AppData : "";
#else
    // An XDG_CONFIG_HOME that is not absolute is invalid and ignored, as the XDG base
    // directory rules say.
    if (IsAbsolute(environment.XdgConfigHome))
        return environment.XdgConfigHome;
    if (IsAbsolute(environment.Home))
        return Join(environment.Home, ".config");
    return "";
#endif
}

std::string ChooseSettingsFile(std::string_view executablePath, TBesideFacts facts,
                               const TSettingsEnvironment& environment) {
    std::string beside = ChangeFileExt(executablePath, ".ini");
    if (facts.FileExists || facts.FolderWritable)
        return beside;
    const std::string configHome = UserConfigHome(environment);
    if (configHome.empty())
        return beside;
    return Join(Join(configHome, ApplicationId()), PerUserSettingsName);
}

TSettingsEnvironment ProcessSettingsEnvironment() {
    TSettingsEnvironment environment;
#ifdef _WIN32
    environment.AppData = Variable("APPDATA");
#else
    environment.XdgConfigHome = Variable("XDG_CONFIG_HOME");
    environment.Home = Variable("HOME");
    if (!IsAbsolute(environment.Home))
        environment.Home = AccountHome();
#endif
    return environment;
}

TBesideFacts LookBeside(std::string_view executablePath) {
    std::error_code error;
    const std::string file = ChangeFileExt(executablePath, ".ini");
    // A symbolic link counts as a settings file lying there, even when it points nowhere yet.
    const auto status = std::filesystem::symlink_status(file, error);
    TBesideFacts facts;
    facts.FileExists = !error && std::filesystem::exists(status);
    facts.FolderWritable = CanCreateFilesIn(FolderOf(executablePath));
    return facts;
}

std::string SettingsFileFor(std::string_view executablePath) {
    return ChooseSettingsFile(executablePath, LookBeside(executablePath),
                              ProcessSettingsEnvironment());
}

bool PrepareSettingsFolder(const std::string& settingsFile) {
    const std::filesystem::path folder = std::filesystem::path(settingsFile).parent_path();
    if (folder.empty())
        return true;
    std::error_code error;
#ifdef _WIN32
    std::filesystem::create_directories(folder, error);
    return !error;
#else
    // Folder by folder, so that each one made here is private from its creation on.
    std::filesystem::path path;
    for (const auto& part : folder) {
        path /= part;
        if (std::filesystem::is_directory(path, error))
            continue;
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
#endif
}
