#include "PathBytes.h"

#include <climits>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int MaxLinks = 40;   // as the system's own limit on following links

// Pushes path's parts onto todo so that the first part is taken first.
void PushParts(const std::string& path, std::vector<std::string>& todo)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= path.size()) {
        const auto slash = path.find('/', start);
        const auto end = slash == std::string::npos ? path.size() : slash;
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    todo.insert(todo.end(), parts.rbegin(), parts.rend());
}

std::string CurrentFolder()
{
    std::string folder(PATH_MAX, '\0');
    if (::getcwd(folder.data(), folder.size()) == nullptr)
        return "/";
    folder.resize(folder.find('\0'));
    return folder;
}

}  // namespace

std::string ResolvedPath(const std::string& path)
{
    std::vector<std::string> todo;
    PushParts(path, todo);
    if (path.empty() || path.front() != '/')
        PushParts(CurrentFolder(), todo);
    std::string done;   // resolved so far, "" for the root
    int links = 0;
    while (!todo.empty()) {
        const std::string part = std::move(todo.back());
        todo.pop_back();
        if (part == ".")
            continue;
        if (part == "..") {
            done.resize(done.rfind('/') == std::string::npos ? 0 : done.rfind('/'));
            continue;
        }
        std::string next = done + '/' + part;
        struct stat status {};
        if (links < MaxLinks && ::lstat(next.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
            std::string target(PATH_MAX, '\0');
            const ssize_t length = ::readlink(next.c_str(), target.data(), target.size());
            if (length > 0) {
                ++links;
                target.resize(std::size_t(length));
                if (target.front() == '/')
                    done.clear();
                PushParts(target, todo);
                continue;
            }
        }
        done = std::move(next);
    }
    return done.empty() ? "/" : done;
}
