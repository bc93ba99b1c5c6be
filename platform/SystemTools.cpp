#include "platform/SystemTools.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <thread>

#include "platform/Platform.h"
#include "platform/TempFiles.h"

extern char** environ;

namespace qm {

namespace fs = std::filesystem;

namespace {

std::string CanonicalText(const fs::path& p) {
    std::error_code ec;
    std::string text = fs::weakly_canonical(p, ec).lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

bool DeclaredReadOnly(const fs::path& directory) {
    const char* list = std::getenv("QUILLMARK_TEST_READONLY_DIRS");
    if (list == nullptr || *list == '\0') {
        return false;
    }
    const std::string target = CanonicalText(directory);
    std::string_view rest = list;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view item = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (item.empty()) {
            continue;
        }
        const std::string declared = CanonicalText(fs::path(item));
        if (target == declared || (target.starts_with(declared) && target[declared.size()] == '/')) {
            return true;
        }
    }
    return false;
}

std::string ErrorText(int err) {
    return std::strerror(err);
}

// Writes all of `n` bytes; false with errno set otherwise.
bool WriteAll(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace

int CopyFileReplacing(const fs::path& source, const fs::path& target) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return errno;
    }
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : (errno != 0 ? errno : EINVAL);
        ::close(in);
        return err;
    }
    fs::path pattern;
    const int out = CreateTempBeside(target, pattern);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return err;
    }
    int err = 0;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            err = errno;
            break;
        }
        if (n == 0) {
            break;
        }
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) {
            err = errno;
            break;
        }
    }
    if (err == 0) {
        ::fchmod(out, st.st_mode & 07777);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
        if (::fsync(out) != 0) {
            err = errno;
        }
    }
    if (::close(out) != 0 && err == 0) {
        err = errno;
    }
    ::close(in);
    if (err == 0 && ::rename(pattern.c_str(), target.c_str()) != 0) {
        err = errno;
    }
    if (err != 0) {
        ::unlink(pattern.c_str());
        return err;
    }
    SyncDirectory(target.parent_path());
    return 0;
}

namespace {

// Percent-encoding of a path for the Path= line of a .trashinfo file.
std::string TrashInfoPath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
            std::strchr("/-_.!~*'()", c) != nullptr) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

bool MakePrivateDirs(const fs::path& dir) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) {
        return true;
    }
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        return false;
    }
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    return true;
}

// The top folder of the file system holding `dir`: the last ancestor on the same device.
fs::path MountTop(const fs::path& dir, dev_t device) {
    fs::path top = dir;
    while (top.has_relative_path()) {
        const fs::path parent = top.parent_path();
        struct stat st {};
        if (::stat(parent.c_str(), &st) != 0 || st.st_dev != device) {
            break;
        }
        top = parent;
    }
    return top;
}

// Reserves a name in `trash` (a Trash folder with files/ and info/) for a file named like
// `name`: its .trashinfo record, which `infoPath` goes into, is written first and exclusively.
// Gives the path in files/ the file is to take, or empty with *err set.
fs::path ReserveTrashName(const fs::path& trash, const fs::path& name, const std::string& infoPath, int* err) {
    const fs::path files = trash / "files";
    const fs::path info = trash / "info";
    if (!MakePrivateDirs(files) || !MakePrivateDirs(info)) {
        *err = errno != 0 ? errno : EACCES;
        return {};
    }
    const std::string stem = name.stem().string();
    const std::string extension = name.extension().string();
    char date[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string record = "[Trash Info]\nPath=" + TrashInfoPath(infoPath) + "\nDeletionDate=" + date + "\n";
    for (int n = 1; n < 10000; ++n) {
        const std::string candidate = n == 1 ? name.string() : stem + "." + std::to_string(n) + extension;
        const fs::path infoFile = info / (candidate + ".trashinfo");
        const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            *err = errno;
            return {};
        }
        struct stat st {};
        if (::lstat((files / candidate).c_str(), &st) == 0) {
            ::close(fd);
            ::unlink(infoFile.c_str());
            continue;
        }
        const bool written = WriteAll(fd, record.data(), record.size());
        const int writeErr = errno;
        ::close(fd);
        if (!written) {
            ::unlink(infoFile.c_str());
            *err = writeErr;
            return {};
        }
        return files / candidate;
    }
    *err = EEXIST;
    return {};
}

// Moves `file` into `trash`; `infoPath` is what the .trashinfo records. 0, or the errno that
// stopped it.
int TrashInto(const fs::path& trash, const fs::path& file, const std::string& infoPath) {
    int err = 0;
    const fs::path target = ReserveTrashName(trash, file.filename(), infoPath, &err);
    if (target.empty()) {
        return err;
    }
    if (::rename(file.c_str(), target.c_str()) != 0) {
        err = errno;
        ::unlink((trash / "info" / (target.filename().string() + ".trashinfo")).c_str());
        return err;
    }
    return 0;
}

}  // namespace

bool FileHasAttr(const fs::path& fileName, unsigned attributes) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        return false;
    }
    unsigned have = faArchive;
    if ((st.st_mode & S_IWUSR) == 0) {
        have |= faReadOnly;
    }
    if (S_ISDIR(st.st_mode)) {
        have |= faDirectory;
        have &= ~static_cast<unsigned>(faArchive);
    }
    const std::string name = fileName.filename().string();
    if (!name.empty() && name[0] == '.') {
        have |= faHidden;
    }
    const unsigned wanted = attributes & 0xFFFFu;
    return (have & wanted) == wanted;
}

bool MakeWritable(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    if ((st.st_mode & S_IWUSR) != 0) {
        return true;
    }
    return ::chmod(path.c_str(), (st.st_mode | S_IWUSR) & 07777) == 0;
}

bool IsReadOnlyMedium(const fs::path& directory) {
    std::error_code ec;
    if (!fs::is_directory(directory, ec)) {
        return false;
    }
    if (DeclaredReadOnly(directory)) {
        return true;
    }
    struct statvfs vfs {};
    if (::statvfs(directory.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY) != 0) {
        return true;
    }
    return ::access(directory.c_str(), W_OK) != 0;
}

namespace {

// Starts argv[0] (looked up in PATH) without a shell, standard input from /dev/null, with the
// file actions the caller added for its output; the child keeps its three standard streams only
// and gets the default disposition of the signals this program may ignore. 0 when it did not start.
pid_t Spawn(const std::vector<std::string>& argv, posix_spawn_file_actions_t& actions) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    return rc == 0 ? pid : 0;
}

// The exit code of a child, as RunProcess gives it.
int WaitForExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return kProcessNotWaited;
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return kProcessNotWaited;
}

}  // namespace

int RunProcess(const std::vector<std::string>& argv, bool wait, const fs::path& stdoutFile) {
    if (argv.empty() || argv[0].empty()) {
        return kProcessNotWaited;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    const std::string output = stdoutFile.string();
    if (!output.empty()) {
        ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    const pid_t pid = Spawn(argv, actions);
    ::posix_spawn_file_actions_destroy(&actions);
    if (pid == 0) {
        return kProcessNotWaited;
    }
    if (!wait) {
        // Someone must collect the child's exit status, or it stays a zombie until we end.
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
        return kProcessNotWaited;
    }
    return WaitForExit(pid);
}

namespace {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
};

// A started child that is killed and waited for unless its exit was collected: an error or a
// stop while reading its output never leaves it running.
class ChildGuard {
public:
    explicit ChildGuard(pid_t pid) : pid_(pid) {}
    ~ChildGuard() {
        if (pid_ != 0) {
            ::kill(pid_, SIGKILL);
            WaitForExit(pid_);
        }
    }
    ChildGuard(const ChildGuard&) = delete;
    ChildGuard& operator=(const ChildGuard&) = delete;
    int Kill() {
        ::kill(pid_, SIGKILL);
        return Wait();
    }
    int Wait() {
        const int code = WaitForExit(pid_);
        pid_ = 0;
        return code;
    }

private:
    pid_t pid_;
};

}  // namespace

int RunProcessReading(const std::vector<std::string>& argv, const std::function<bool(std::string_view)>& onOutput,
                      std::string* errorTail, const fs::path& workingDirectory) {
    if (argv.empty() || argv[0].empty()) {
        return kProcessNotWaited;
    }
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        return kProcessNotWaited;
    }
    Fd outRead(outPipe[0]);
    Fd outWrite(outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        return kProcessNotWaited;
    }
    Fd errRead(errPipe[0]);
    Fd errWrite(errPipe[1]);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, outWrite.Get(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, errWrite.Get(), STDERR_FILENO);
    if (!workingDirectory.empty()) {
        ::posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    }
    const pid_t pid = Spawn(argv, actions);
    ::posix_spawn_file_actions_destroy(&actions);
    if (pid == 0) {
        return kProcessNotWaited;
    }
    ChildGuard child(pid);
    outWrite.Close();
    errWrite.Close();
    // A larger pipe lets a fast writer run ahead of the reader with fewer switches between them.
    ::fcntl(outRead.Get(), F_SETPIPE_SZ, 1 << 20);

    constexpr std::size_t kErrorTail = 4096;
    constexpr int kHeartbeatMs = 200;
    std::string tail;
    std::vector<char> buffer(1 << 20);
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outOpen ? outRead.Get() : -1, POLLIN, 0}, {errOpen ? errRead.Get() : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 2, kHeartbeatMs);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready <= 0) {
            if (!onOutput(std::string_view())) {
                return child.Kill();
            }
            continue;
        }
        if (outOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t n = ::read(outRead.Get(), buffer.data(), buffer.size());
            if (n > 0) {
                if (!onOutput(std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
                    return child.Kill();
                }
            } else if (n == 0 || errno != EINTR) {
                outOpen = false;
            }
        }
        if (errOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char text[4096];
            const ssize_t n = ::read(errRead.Get(), text, sizeof text);
            if (n > 0) {
                tail.append(text, static_cast<std::size_t>(n));
                if (tail.size() > kErrorTail) {
                    tail.erase(0, tail.size() - kErrorTail);
                }
            } else if (n == 0 || errno != EINTR) {
                errOpen = false;
            }
        }
    }
    if (errorTail != nullptr) {
        *errorTail = std::move(tail);
    }
    return child.Wait();
}

bool MoveToTrash(const fs::path& file, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = file.string() + ": cannot move to the Trash: " + why;
        }
        return false;
    };
    std::error_code ec;
    const fs::path path = fs::absolute(file, ec).lexically_normal();
    struct stat st {};
    if (ec || !path.has_filename() || ::lstat(path.c_str(), &st) != 0) {
        return fail(ErrorText(ec ? ec.value() : (errno != 0 ? errno : ENOENT)));
    }
    const fs::path home = XdgDir("XDG_DATA_HOME", ".local/share") / "Trash";
    int err = TrashInto(home, path, path.string());
    if (err != EXDEV) {
        return err == 0 || fail(ErrorText(err));
    }
    // The home Trash is on another file system: the file goes to the Trash at the top of its
    // own, where paths are recorded relative to that top.
    const fs::path top = MountTop(path.parent_path(), st.st_dev);
    const fs::path trash = top / (".Trash-" + std::to_string(::getuid()));
    err = TrashInto(trash, path, path.lexically_relative(top).string());
    return err == 0 || fail(ErrorText(err));
}

fs::path ReserveInTrash(const fs::path& original, std::string* error) {
    std::error_code ec;
    const fs::path path = fs::absolute(original, ec).lexically_normal();
    int err = ec ? ec.value() : 0;
    fs::path reserved;
    if (!ec && path.has_filename()) {
        reserved =
            ReserveTrashName(XdgDir("XDG_DATA_HOME", ".local/share") / "Trash", path.filename(), path.string(), &err);
    }
    if (reserved.empty() && error != nullptr) {
        *error = original.string() + ": no room in the Trash: " + ErrorText(err != 0 ? err : EINVAL);
    }
    return reserved;
}

}  // namespace qm
