// watch: each change of the stored settings and mappings as it happens, whoever makes it,
// read from the hive file itself.
#include "stdafx.h"

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <ostream>

#include "Commands.h"
#include "Json.h"
#include "TreeChanges.h"
#include "ValueFormat.h"
#include "ViewerTree.h"

namespace marrowick::cli {

namespace {

// watch: follows the hive's directory with inotify, since the hive is replaced by rename;
// a directory that does not exist yet is waited for at its nearest existing parent.
class HiveWatch {
public:
    HiveWatch(std::string hive, std::ostream& notes) : hive_(std::move(hive)), notes_(notes) {
        const std::size_t slash = hive_.rfind('/');
        directory_ = slash == std::string::npos ? "." : slash == 0 ? "/" : hive_.substr(0, slash);
        name_ = slash == std::string::npos ? hive_ : hive_.substr(slash + 1);
    }
    ~HiveWatch() {
        if (fd_ >= 0) ::close(fd_);
    }

    int Open() {
        fd_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        return fd_ < 0 ? -errno : Follow();
    }
    int fd() const { return fd_; }

    // Reads what is waiting; true when the hive may have changed (or the place to watch did).
    bool Drain(int& error) {
        alignas(struct inotify_event) char buffer[16 * 1024];
        bool relevant = false;
        for (;;) {
            const ssize_t length = ::read(fd_, buffer, sizeof buffer);
            if (length < 0) {
                if (errno == EINTR) continue;
                if (errno != EAGAIN) error = -errno;
                break;
            }
            for (ssize_t offset = 0; offset < length;) {
                const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + offset);
                offset += static_cast<ssize_t>(sizeof *event + event->len);
                if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_Q_OVERFLOW)) {
                    refollow_ = relevant = true;
                } else if (!watchingHiveDirectory_) {
                    refollow_ = relevant = true;  // something appeared on the way
                } else if (event->len && name_ == event->name) {
                    relevant = true;
                }
            }
        }
        if (refollow_) {
            refollow_ = false;
            if (const int r = Follow(); r < 0) error = r;
        }
        return relevant;
    }

private:
    // Watches the hive's directory, or the nearest existing parent while it is missing.
    int Follow() {
        if (watch_ >= 0) inotify_rm_watch(fd_, watch_);
        watch_ = -1;
        std::string place = directory_;
        for (;;) {
            const bool hiveDirectory = place == directory_;
            const uint32_t mask = hiveDirectory ? kHiveDirectoryEvents : kParentEvents;
            watch_ = inotify_add_watch(fd_, place.c_str(), mask);
            if (watch_ >= 0) {
                watchingHiveDirectory_ = hiveDirectory;
                if (!hiveDirectory && place != announced_) {
                    notes_ << "Das Verzeichnis " << directory_
                           << " gibt es nicht; marrowick watch wartet in " << place
                           << " darauf, dass es angelegt wird.\n";
                    notes_.flush();
                    announced_ = place;
                }
                // What appeared while the watch was not yet there is looked at by the caller,
                // which reads the hive after every Follow.
                return 0;
            }
            if (errno != ENOENT && errno != ENOTDIR) return -errno;
            const std::size_t slash = place.rfind('/');
            if (slash == std::string::npos || place == "/") return -errno;
            place = slash == 0 ? "/" : place.substr(0, slash);
        }
    }

    static constexpr uint32_t kHiveDirectoryEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE |
                                                     IN_DELETE | IN_MOVED_FROM | IN_ATTRIB |
                                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    static constexpr uint32_t kParentEvents =
        IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

    std::string hive_, directory_, name_;
    std::ostream& notes_;
    std::string announced_;
    int fd_ = -1;
    int watch_ = -1;
    bool watchingHiveDirectory_ = false;
    bool refollow_ = false;
};

// Signals that end watch, read from a descriptor so that poll sees them; the old mask comes
// back when it ends.
class EndingSignals {
public:
    EndingSignals() {
        sigset_t ending;
        sigemptyset(&ending);
        sigaddset(&ending, SIGINT);
        sigaddset(&ending, SIGTERM);
        sigaddset(&ending, SIGHUP);
        sigprocmask(SIG_BLOCK, &ending, &previous_);
        fd_ = signalfd(-1, &ending, SFD_CLOEXEC | SFD_NONBLOCK);
    }
    ~EndingSignals() {
        if (fd_ >= 0) ::close(fd_);
        sigprocmask(SIG_SETMASK, &previous_, nullptr);
    }
    int fd() const { return fd_; }
    // Takes the signal that came, so that it is not delivered once the old mask is back.
    void Take() {
        struct signalfd_siginfo taken;
        while (::read(fd_, &taken, sizeof taken) == sizeof taken) {
        }
    }

private:
    sigset_t previous_;
    int fd_ = -1;
};

// A hive that is a symbolic link is written where the link leads: that file's directory is
// the one to watch.
std::string WatchedPath(const std::string& hive) {
    struct ::stat status {};
    if (::lstat(hive.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return hive;
    char* resolved = ::realpath(hive.c_str(), nullptr);
    if (!resolved) return hive;
    std::string path = resolved;
    std::free(resolved);
    return path;
}

void PrintChanges(const std::vector<Change>& changes, bool json, std::ostream& out) {
    if (json) {
        JsonWriter writer(out);
        BeginOutput(writer);
        writer.Key("time").String(UtcText(NowUsec()));
        writer.Key("changes").BeginArray();
        for (const Change& change : changes) ChangeJson(writer, change);
        writer.EndArray();
        writer.EndObject();
        out << '\n';
    } else {
        std::string text;
        for (const Change& change : changes) text += ChangeLine(change) + '\n';
        out << text;
    }
    out.flush();
}

}  // namespace

int Watch(const Invocation& call) {
    // Notes about waiting go straight to standard error: they are no failure, and with --json
    // the command line keeps its messages until the command ends, which watch does not.
    std::ostream& notes = std::cerr;
    const std::string hive = HivePath();
    EndingSignals signals;
    HiveWatch watch(WatchedPath(hive), notes);
    if (signals.fd() < 0) {
        call.err << "marrowick watch: " << std::strerror(errno) << ".\n";
        return kExitFileError;
    }
    if (const int r = watch.Open(); r < 0) {
        call.err << hive
                 << ": Die Registrierung kann nicht beobachtet werden: " << std::strerror(-r)
                 << ".\n";
        return kExitFileError;
    }
    std::vector<platform::RegFileKey> seen;
    LONG status = ReadViewerTree(seen);
    if (status != ERROR_SUCCESS) return ReportUnreadable(call, status);
    struct ::stat hiveStatus {};
    if (::stat(hive.c_str(), &hiveStatus) != 0) {
        notes << "Die Registrierung " << hive
              << " gibt es noch nicht; marrowick watch wartet darauf.\n";
    }
    notes << "Beobachte " << hive << " (Strg+C beendet).\n";
    notes.flush();
    LONG reported = ERROR_SUCCESS;  // the last failure told, so that it is told once
    for (;;) {
        struct pollfd waiting[] = {{signals.fd(), POLLIN, 0}, {watch.fd(), POLLIN, 0}};
        if (::poll(waiting, 2, -1) < 0) {
            if (errno == EINTR) continue;
            call.err << "marrowick watch: " << std::strerror(errno) << ".\n";
            return kExitFileError;
        }
        if (waiting[0].revents) {  // interrupted: the normal end
            signals.Take();
            return kExitSuccess;
        }
        int error = 0;
        const bool changed = watch.Drain(error);
        if (error < 0) {
            call.err << hive << ": Die Registrierung kann nicht mehr beobachtet werden: "
                     << std::strerror(-error) << ".\n";
            return kExitFileError;
        }
        if (!changed) continue;
        std::vector<platform::RegFileKey> now;
        status = ReadViewerTree(now);
        if (status != ERROR_SUCCESS) {
            // Unreadable for now (a broken hive, taken rights): said once, and the last
            // reading stays what the next one is compared with.
            if (status != reported) {
                notes << hive << ": Die Einstellungen können gerade nicht gelesen werden: "
                      << Win32Text(status) << ".\n";
                notes.flush();
            }
            reported = status;
            continue;
        }
        reported = ERROR_SUCCESS;
        const std::vector<Change> changes = ChangesBetween(seen, now);
        seen = std::move(now);
        if (changes.empty()) continue;
        PrintChanges(changes, call.options.json, call.out);
        if (!call.out) return kExitFileError;
    }
}

}  // namespace marrowick::cli
