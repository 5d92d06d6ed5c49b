#include "hive_place.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

namespace marrowick::platform {

namespace {

constexpr int kMaxLinks = 40;  // Linux's own limit

std::deque<std::string> NamesOf(const std::string& path) {
    std::deque<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        std::string name = path.substr(start, end - start);
        if (!name.empty() && name != ".") names.push_back(std::move(name));
        start = end + 1;
    }
    return names;
}

std::string Join(const std::string& directory, const std::string& name) {
    return directory.ends_with('/') ? directory + name : directory + "/" + name;
}

// Whether a step from `from` to `to` hands the path to someone else than who set it.
bool UnsafeStep(const struct stat& from, const struct stat& to) {
    return from.st_uid != 0 && from.st_uid != geteuid() && to.st_uid != from.st_uid;
}

bool OpenToEveryone(const struct stat& directory) {
    return (directory.st_mode & S_IWOTH) && !(directory.st_mode & S_ISVTX);
}

HivePlace Refused(HivePlace::Outcome outcome, HiveProblem::Kind kind, std::string path,
                  std::string other = {}) {
    HivePlace place;
    place.outcome = outcome;
    place.problem.kind = kind;
    place.problem.path = std::move(path);
    place.problem.other = std::move(other);
    return place;
}

HivePlace UnsafeStepFrom(const std::string& from, const std::string& to) {
    return Refused(HivePlace::kUnsafe, HiveProblem::kOwnedByOther, from, to);
}

HivePlace OpenDirectory(const std::string& directory) {
    return Refused(HivePlace::kUnsafe, HiveProblem::kOpenToEveryone, directory);
}

}  // namespace

HivePlace FindHivePlace(const std::string& path) {
    std::deque<std::string> todo = NamesOf(path);
    if (todo.empty() || todo.back() == "..") {
        return Refused(HivePlace::kUnusable, HiveProblem::kNoFileName, path);
    }
    const bool absolute = path.starts_with('/');
    Descriptor current(open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::string shown = absolute ? "/" : ".";  // where `current` is
    // The directory or link the next step leads from.
    struct stat previous;
    std::string previousShown = shown;
    if (current.get() < 0 || fstat(current.get(), &previous) != 0) {
        return Refused(HivePlace::kDenied, HiveProblem::kNotAccessible, shown);
    }
    if (OpenToEveryone(previous)) return OpenDirectory(shown);
    std::vector<std::pair<dev_t, ino_t>> links;
    int linksFollowed = 0;
    while (!todo.empty()) {
        const std::string name = std::move(todo.front());
        todo.pop_front();
        const bool last = todo.empty();
        const std::string here = name == ".." ? shown + "/.." : Join(shown, name);
        Descriptor next(openat(current.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat status;
        if (next.get() < 0 && errno == ENOENT && last) {
            HivePlace place;  // a hive not written yet
            place.outcome = HivePlace::kFound;
            place.directory = std::move(current);
            place.name = name;
            place.links = std::move(links);
            return place;
        }
        if (next.get() < 0 && (errno == ENOENT || errno == ENOTDIR)) {
            HivePlace place =
                Refused(HivePlace::kDirectoryMissing, HiveProblem::kDirectoryMissing, here);
            place.directory = std::move(current);
            place.name = name;
            place.onlyHiveDirectoryMissing = todo.size() == 1;
            return place;
        }
        if (next.get() < 0 || fstat(next.get(), &status) != 0) {
            return Refused(HivePlace::kDenied, HiveProblem::kNotSearchable, shown);
        }
        if (UnsafeStep(previous, status)) return UnsafeStepFrom(previousShown, here);
        if (S_ISLNK(status.st_mode)) {
            char target[4096];
            const ssize_t length = readlinkat(next.get(), "", target, sizeof target);
            if (++linksFollowed > kMaxLinks || length <= 0 ||
                static_cast<std::size_t>(length) == sizeof target) {
                return Refused(HivePlace::kUnusable, HiveProblem::kTooManyLinks, path);
            }
            links.emplace_back(status.st_dev, status.st_ino);
            const std::string to(target, static_cast<std::size_t>(length));
            std::deque<std::string> more = NamesOf(to);
            todo.insert(todo.begin(), more.begin(), more.end());
            previous = status;
            previousShown = here;
            if (to.starts_with('/')) {
                current = Descriptor(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
                shown = "/";
                struct stat root;
                if (current.get() < 0 || fstat(current.get(), &root) != 0) {
                    return Refused(HivePlace::kDenied, HiveProblem::kNotAccessible, "/");
                }
                if (UnsafeStep(previous, root)) return UnsafeStepFrom(previousShown, "/");
                if (OpenToEveryone(root)) return OpenDirectory("/");
                previous = root;
                previousShown = shown;
            }
            if (todo.empty() || todo.back() == "..") {
                return Refused(HivePlace::kUnusable, HiveProblem::kNoFileName, here);
            }
            continue;
        }
        if (last) {
            HivePlace place;
            place.outcome = HivePlace::kFound;
            place.directory = std::move(current);
            place.name = name;
            place.links = std::move(links);
            return place;
        }
        if (!S_ISDIR(status.st_mode)) {
            return Refused(HivePlace::kDirectoryMissing, HiveProblem::kNotADirectory, here);
        }
        if (OpenToEveryone(status)) return OpenDirectory(here);
        current = std::move(next);
        previous = status;
        shown = previousShown = here;
    }
    return Refused(HivePlace::kUnusable, HiveProblem::kNoFileName, path);
}

}  // namespace marrowick::platform
