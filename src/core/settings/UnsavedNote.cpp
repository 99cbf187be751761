#include "UnsavedNote.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <sys/stat.h>

namespace {

std::string StateFolder()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/')
        return std::string(state) + "/kvchat";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/')
        return {};
    return std::string(home) + "/.local/state/kvchat";
}

// One note per settings file: its name is a hash of the path's bytes (FNV-1a).
std::string NotePath(const std::string& settingsFile)
{
    const std::string folder = StateFolder();
    if (folder.empty())
        return {};
    std::uint64_t hash = 14695981039346656037ULL;
    for (const unsigned char byte : settingsFile)
        hash = (hash ^ byte) * 1099511628211ULL;
    char name[32];
    std::snprintf(name, sizeof name, "/unsaved-%016llx", static_cast<unsigned long long>(hash));
    return folder + name;
}

void MakeFolders(const std::string& folder)
{
    for (std::string::size_type slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos)
            return;
    }
}

}  // namespace

bool WriteUnsavedNote(const std::string& settingsFile, const std::string& reason)
{
    const std::string path = NotePath(settingsFile);
    if (path.empty())
        return false;
    MakeFolders(path.substr(0, path.rfind('/')));
    std::ofstream note(path, std::ios::binary | std::ios::trunc);
    note << settingsFile << '\n' << reason;
    return bool(note.flush());
}

std::optional<std::string> TakeUnsavedNote(const std::string& settingsFile)
{
    const std::string path = NotePath(settingsFile);
    std::ifstream note(path, std::ios::binary);
    if (path.empty() || !note)
        return std::nullopt;
    std::string named;
    std::getline(note, named);
    std::string reason((std::istreambuf_iterator<char>(note)), std::istreambuf_iterator<char>());
    note.close();
    std::remove(path.c_str());
    if (named != settingsFile)
        return std::nullopt;   // another file's hash: not ours to tell
    return reason;
}
