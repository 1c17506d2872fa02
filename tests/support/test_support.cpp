#include "support/test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace quarvel::test {

using platform::Picture;

TempDir::TempDir(const std::filesystem::path& under) {
    std::random_device rd;
    const std::filesystem::path base = under.empty() ? std::filesystem::temp_directory_path() : under;
    for (int i = 0; i < 100; ++i) {
        auto candidate = base / ("quarvel-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only entries behind; make them writable so they go too.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
    }
    std::filesystem::remove_all(path_, ec);
    // A tree deeper than a path can name.
    if (std::filesystem::exists(path_, ec)) RemoveTree(path_);
}

void MakeFolderChain(const std::filesystem::path& top, int depth, const std::string& name,
                     const std::function<void(int, int)>& each) {
    int folder = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) throw std::runtime_error("cannot open " + top.string());
    for (int level = 1; level <= depth; ++level) {
        const int below = ::mkdirat(folder, name.c_str(), 0777) == 0
                              ? ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                              : -1;
        ::close(folder);
        if (below < 0) throw std::runtime_error("cannot make level " + std::to_string(level));
        folder = below;
        if (each) each(folder, level);
    }
    ::close(folder);
}

void WriteFileAt(int folder, const std::string& name, const std::string& bytes) {
    const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot write " + name);
    ::close(fd);
}

std::string ReadFileAt(int folder, const std::string& name) {
    const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string bytes;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return bytes;
}

void RemoveTree(const std::filesystem::path& folder) {
    // One folder open at a time: down into the first sub-folder left, up through ".."
    // once one is empty, so that neither the path nor the descriptors grow with depth.
    int at = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    std::vector<std::string> names;  // of the folders below `folder`, down to `at`
    while (at >= 0) {
        ::fchmod(at, 0700);
        std::string down;
        if (DIR* dir = ::fdopendir(::fcntl(at, F_DUPFD_CLOEXEC, 0))) {
            while (const struct dirent* d = ::readdir(dir)) {
                const std::string name = d->d_name;
                if (name == "." || name == "..") continue;
                struct stat st;
                if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
                    down = name;
                    break;
                }
                ::unlinkat(at, name.c_str(), 0);
            }
            ::closedir(dir);
        }
        if (!down.empty()) {
            const int below = ::openat(at, down.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (below >= 0) {
                ::close(at);
                at = below;
                names.push_back(down);
                continue;
            }
            ::unlinkat(at, down.c_str(), AT_REMOVEDIR);  // as much as can be done
        }
        if (names.empty()) {
            ::close(at);
            break;
        }
        const int up = ::openat(at, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(at);
        at = up;
        if (at >= 0 && ::unlinkat(at, names.back().c_str(), AT_REMOVEDIR) != 0) {
            // Something there could not go: give up rather than go round for ever.
            ::close(at);
            at = -1;
        }
        names.pop_back();
    }
    ::rmdir(folder.c_str());
}

OpenFileLimit::OpenFileLimit(std::uint64_t files) {
    struct rlimit limit {};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    old_ = limit.rlim_cur;
    limit.rlim_cur = files;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

OpenFileLimit::~OpenFileLimit() {
    struct rlimit limit {};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = old_;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    oldSoft_ = old.rlim_cur;
    oldHard_ = old.rlim_max;
    oldSignal_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {static_cast<rlim_t>(bytes), old.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    struct rlimit old = {static_cast<rlim_t>(oldSoft_), static_cast<rlim_t>(oldHard_)};
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal_);
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> TreeOf(const std::filesystem::path& folder) {
    std::vector<std::string> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        std::string name = entry.path().lexically_relative(folder).string();
        if (entry.is_directory() && !entry.is_symlink()) name += '/';
        tree.push_back(std::move(name));
    }
    std::sort(tree.begin(), tree.end());
    return tree;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void WriteWarningTree(const std::filesystem::path& tree, const std::filesystem::path& elsewhere) {
    std::filesystem::create_directories(tree / "sub");
    std::string tall = "<dd>";
    for (int i = 0; i < 51; ++i) tall += "line " + std::to_string(i) + "<br>";
    WriteFile(tree / "art.htm", "<dd>" + std::string(300, '_') + "\r\n" + tall + "\r\n<dd>fine\r\n");
    WriteFile(tree / "sub" / "plain.htm", "<p>no art here</p>\r\n");
    WriteFile(tree / "sub" / "picture.htm", "\x89PNG\r\n\x1a\n");
    WriteFile(elsewhere, "<dd>x\r\n");
    std::filesystem::create_symlink(elsewhere, tree / "link.htm");
}

std::vector<PngChunk> PngChunks(const std::string& bytes) {
    std::vector<PngChunk> chunks;
    std::size_t pos = 8;
    while (pos + 12 <= bytes.size()) {
        auto b = reinterpret_cast<const unsigned char*>(bytes.data() + pos);
        const std::size_t length = (std::size_t(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
        chunks.push_back({bytes.substr(pos + 4, 4), bytes.substr(pos + 8, std::min(length, bytes.size() - pos - 8))});
        pos += 12 + length;
    }
    return chunks;
}

bool DecodePngBytes(const std::string& bytes, Picture& out, std::vector<std::uint8_t>* alpha) {
    if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0) return false;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    // Any colour type, palettes and tRNS included, comes out as 8-bit RGB or RGBA.
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    if (!alpha) {
        out.rgb = std::move(pixels);
        return ok;
    }
    out.rgb.resize(pixels.size() / 4 * 3);
    alpha->resize(pixels.size() / 4);
    for (std::size_t i = 0; i < alpha->size(); ++i) {
        std::memcpy(&out.rgb[3 * i], &pixels[4 * i], 3);
        (*alpha)[i] = pixels[4 * i + 3];
    }
    return ok;
}

bool DecodePng(const std::filesystem::path& path, Picture& out, std::vector<std::string>* chunks) {
    const std::string bytes = ReadFile(path);
    if (chunks) {
        chunks->clear();
        for (const PngChunk& chunk : PngChunks(bytes)) chunks->push_back(chunk.type);
    }
    return DecodePngBytes(bytes, out);
}

namespace {

// The arguments and environment of a program to start, as exec wants them: this
// process's environment with extra_env's "NAME=value" entries in place of any of the
// same name, and the NULL-ended arrays pointing into the strings held here.
struct ExecArguments {
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::vector<char*> argp;
    std::vector<char*> envp;

    ExecArguments(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env) : args(argv) {
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        for (const auto& extra : extra_env) {
            auto key = extra.substr(0, extra.find('=') + 1);
            std::erase_if(env, [&](const std::string& s) { return s.rfind(key, 0) == 0; });
            env.push_back(extra);
        }
        for (auto& s : args) argp.push_back(s.data());
        argp.push_back(nullptr);
        for (auto& s : env) envp.push_back(s.data());
        envp.push_back(nullptr);
    }
    ExecArguments(const ExecArguments&) = delete;  // the pointers point into this object's strings
    ExecArguments& operator=(const ExecArguments&) = delete;
};

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::vector<std::string>& extra_env) {
    ProcessResult result;
    std::signal(SIGPIPE, SIG_IGN);  // a child that stops reading must not kill the test
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return result;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
        posix_spawn_file_actions_addclose(&actions, fd);

    const ExecArguments exec(argv, extra_env);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, exec.argp[0], &actions, nullptr, exec.argp.data(), exec.envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (rc != 0) {
        close(in_pipe[1]);
        close(out_pipe[0]);
        close(err_pipe[0]);
        return result;
    }

    // Feed stdin and drain both outputs together so that no pipe fills up.
    std::size_t written = 0;
    int in_fd = in_pipe[1];
    if (input.empty()) {
        close(in_fd);
        in_fd = -1;
    } else {
        fcntl(in_fd, F_SETFL, O_NONBLOCK);
    }
    bool out_open = true, err_open = true;
    char buf[65536];
    while (out_open || err_open || in_fd >= 0) {
        pollfd fds[3];
        int n = 0;
        if (out_open) fds[n++] = {out_pipe[0], POLLIN, 0};
        if (err_open) fds[n++] = {err_pipe[0], POLLIN, 0};
        if (in_fd >= 0) fds[n++] = {in_fd, POLLOUT, 0};
        if (poll(fds, n, -1) < 0) break;
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents) continue;
            if (fds[i].fd == in_fd) {
                ssize_t w = write(in_fd, input.data() + written, input.size() - written);
                if (w > 0) written += static_cast<std::size_t>(w);
                if (w < 0 || written == input.size()) {
                    close(in_fd);
                    in_fd = -1;
                }
                continue;
            }
            ssize_t r = read(fds[i].fd, buf, sizeof buf);
            std::string& target = fds[i].fd == out_pipe[0] ? result.out : result.err;
            if (r > 0) {
                target.append(buf, static_cast<std::size_t>(r));
            } else {
                (fds[i].fd == out_pipe[0] ? out_open : err_open) = false;
            }
        }
    }
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.exit_code = 128 + WTERMSIG(status);
    return result;
}

void WaitUntil(const std::function<bool()>& done, const char* what, std::chrono::milliseconds bound,
               std::chrono::microseconds step) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "gave up waiting after %lld ms: %s\n", static_cast<long long>(bound.count()), what);
            std::fflush(stderr);
            std::abort();
        }
        std::this_thread::sleep_for(step);
    }
}

bool WaitWhileRunning(int pid, const std::function<bool()>& seen, int& status, const char* what,
                      std::chrono::microseconds step, std::chrono::milliseconds bound) {
    bool ended = false;
    WaitUntil([&] { return seen() || (ended = ::waitpid(pid, &status, WNOHANG) == pid); }, what, bound, step);
    return !ended;
}

bool WritesANewFileIn(int pid, const std::filesystem::path& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const std::filesystem::path target = std::filesystem::read_symlink(entry.path(), error);
        if (error || target.parent_path() != folder) continue;
        const std::string name = target.filename().string();
        if ((name.starts_with("#") && name.ends_with(" (deleted)")) || name.find(".quarvel-") != std::string::npos)
            return true;
    }
    return false;
}

TerminalProcess::TerminalProcess(const std::vector<std::string>& argv, int columns,
                                 const std::vector<std::string>& extra_env) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const std::string slave = ::ptsname(master_);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    ::ioctl(master_, TIOCSWINSZ, &size);
    const ExecArguments exec(argv, extra_env);
    pid_ = ::fork();
    if (pid_ == 0) {
        // A session of its own, with the terminal as its controlling one.
        ::setsid();
        const int fd = ::open(slave.c_str(), O_RDWR);
        if (fd < 0) ::_exit(127);
        for (int target : {0, 1, 2}) ::dup2(fd, target);
        if (fd > 2) ::close(fd);
        ::execve(exec.argp[0], exec.argp.data(), exec.envp.data());
        ::_exit(127);
    }
}

TerminalProcess::~TerminalProcess() {
    if (pid_ > 0 && !exit_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
}

void TerminalProcess::Type(const std::string& keys) {
    if (master_ >= 0 && ::write(master_, keys.data(), keys.size()) < 0) shown_ += "(could not type)";
}

std::optional<int> TerminalProcess::Wait(std::chrono::milliseconds timeout) {
    if (exit_ || pid_ <= 0) return exit_;
    const auto end = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    for (;;) {
        // Read what is shown first: a program blocked on a full terminal never ends.
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, 20) > 0) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) shown_.append(buffer, static_cast<std::size_t>(n));
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            // What is still in the terminal's buffer once the program has ended.
            for (ssize_t n; ::poll(&fd, 1, 0) > 0 && (n = ::read(master_, buffer, sizeof buffer)) > 0;)
                shown_.append(buffer, static_cast<std::size_t>(n));
            exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exit_;
        }
        if (std::chrono::steady_clock::now() >= end) return std::nullopt;
    }
}

}  // namespace quarvel::test
