#include "platform/process/WineProcessLauncher.h"

#include "platform/SystemInfo.h"
#include "platform/files/NameMatch.h"
#include "platform/files/WineFileSystem.h"
#include "platform/process/CommandLine.h"
#include "platform/system/WineSystemInfo.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace tw::platform {

static constexpr const char *RegistryEditorVariable = "TIDEWELL_REGEDIT";
static constexpr const char *RegistryEditorFileName = "tidewell-regedit";

WineProcessLauncher::WineProcessLauncher(const WineFileSystem &files, const SystemInfo &system)
    : m_files(files), m_system(system) {}

static bool isExecutableFile(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

static std::string folderOfHostPath(const std::string &path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

static std::string_view withoutTrailingBackslash(std::string_view path) {
  while (path.size() > 3 && path.back() == '\\') path.remove_suffix(1);
  return path;
}

bool WineProcessLauncher::isRegistryEditor(std::string_view program) const {
  auto slash = program.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? program : program.substr(slash + 1);
  if (!detail::namesEqualIgnoringCase(name, "regedit.exe") && !detail::namesEqualIgnoringCase(name, "regedit"))
    return false;
  if (slash == std::string_view::npos) return true;
  std::string_view folder = withoutTrailingBackslash(program.substr(0, slash));
  return detail::namesEqualIgnoringCase(folder, m_system.windowsDirectory()) ||
         detail::namesEqualIgnoringCase(folder, m_system.systemDirectory());
}

std::optional<std::string> WineProcessLauncher::registryEditor() const {
  if (const char *configured = std::getenv(RegistryEditorVariable); configured && *configured) {
    if (isExecutableFile(configured)) return std::string(configured);
    return std::nullopt;
  }
  const std::string self = runningExecutablePath();
  if (self.empty()) return std::nullopt;
  std::string beside = folderOfHostPath(self) + "/" + RegistryEditorFileName;
  if (isExecutableFile(beside)) return beside;
  return std::nullopt;
}

static bool hasExtension(std::string_view program) {
  auto slash = program.find_last_of("\\/:");
  auto dot = program.find_last_of('.');
  return dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
}

static bool isRegularFile(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A Windows executable, whatever its name: the file starts with the "MZ" of the DOS header.
static bool isWindowsProgram(const std::string &path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char magic[2] = {};
  const ssize_t n = ::read(fd, magic, sizeof magic);
  ::close(fd);
  return n == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

// CreateProcess looks for a program named without a folder in the current folder, the system
// folder and the Windows folder, and adds ".exe" to a name without an extension.
std::optional<WineProcessLauncher::FoundProgram>
WineProcessLauncher::findProgramFile(std::string_view program, bool (*acceptable)(const std::string &)) const {
  if (program.empty()) return std::nullopt;
  std::vector<std::string> names{std::string(program)};
  if (!hasExtension(program)) names.push_back(std::string(program) + ".exe");
  const bool bare = program.find_first_of("\\/:") == std::string_view::npos;
  std::vector<std::string> folders{""};
  if (bare) folders = {"", m_system.systemDirectory() + "\\", m_system.windowsDirectory() + "\\"};
  for (const auto &folder : folders) {
    for (const auto &name : names) {
      auto host = m_files.hostPath(folder + name);
      if (host && acceptable(*host)) return FoundProgram{folder + name, *host};
    }
  }
  return std::nullopt;
}

std::optional<std::string> WineProcessLauncher::hostProgramFor(std::string_view program) const {
  if (isRegistryEditor(program)) return registryEditor();
  auto found = findProgramFile(program, isExecutableFile);
  if (!found) return std::nullopt;
  return found->hostPath;
}

std::vector<std::string> WineProcessLauncher::childEnvironment() const {
  std::vector<std::string> env;
  for (char **entry = environ; entry && *entry; ++entry) {
    std::string_view text = *entry;
    if (text.rfind("WINEPREFIX=", 0) == 0) continue;
    env.emplace_back(text);
  }
  env.push_back("WINEPREFIX=" + m_files.prefixDir());
  return env;
}

static std::optional<std::string> findOnPath(std::string_view name) {
  const char *path = std::getenv("PATH");
  if (!path) return std::nullopt;
  std::string_view rest = path;
  while (!rest.empty()) {
    auto colon = rest.find(':');
    std::string_view folder = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (folder.empty()) continue;
    std::string candidate = std::string(folder) + "/" + std::string(name);
    if (isExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

namespace {
// posix_spawn's file actions and argument arrays, released however the start ends.
struct SpawnSetup {
  posix_spawn_file_actions_t actions{};
  posix_spawnattr_t attributes{};
  bool hasAttributes = false;
  std::vector<std::string> argStorage, envStorage;
  std::vector<char *> argv, envp;

  SpawnSetup() { ::posix_spawn_file_actions_init(&actions); }
  ~SpawnSetup() {
    ::posix_spawn_file_actions_destroy(&actions);
    if (hasAttributes) ::posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup &) = delete;
  SpawnSetup &operator=(const SpawnSetup &) = delete;

  /// The child leads a session of its own, so that it outlives the program that started it
  /// and the terminal the program ran in.
  void detach() {
    ::posix_spawnattr_init(&attributes);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    hasAttributes = true;
  }
  void silence(bool output, int errorOutput = -1) {
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!output) return;
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (errorOutput >= 0)
      ::posix_spawn_file_actions_adddup2(&actions, errorOutput, 2);
    else
      ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  pid_t start(std::string program, std::vector<std::string> args, std::vector<std::string> env) {
    argStorage.push_back(std::move(program));
    for (auto &a : args) argStorage.push_back(std::move(a));
    envStorage = std::move(env);
    for (auto &a : argStorage) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto &e : envStorage) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argStorage.front().c_str(), &actions, hasAttributes ? &attributes : nullptr,
                      argv.data(), envp.data()) != 0)
      return -1;
    return pid;
  }
};
} // namespace

static int waitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// A child that nobody waits for is collected in the background, so it leaves no zombie.
static void collectInBackground(pid_t pid) {
  std::thread([pid] { waitForExit(pid); }).detach();
}

namespace {
// A file in memory that takes a child's error output; the child may write as much as it likes
// without ever blocking on a full pipe.
class ErrorOutputFile {
public:
  ErrorOutputFile() : m_fd(::memfd_create("tidewell-child-errors", MFD_CLOEXEC)) {}
  ~ErrorOutputFile() {
    if (m_fd >= 0) ::close(m_fd);
  }
  ErrorOutputFile(const ErrorOutputFile &) = delete;
  ErrorOutputFile &operator=(const ErrorOutputFile &) = delete;
  int fd() const { return m_fd; }
  std::string read(std::size_t limit) const {
    std::string text;
    if (m_fd < 0) return text;
    text.resize(limit);
    std::size_t done = 0;
    while (done < limit) {
      const ssize_t n = ::pread(m_fd, text.data() + done, limit - done, static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    return text;
  }

private:
  int m_fd;
};
} // namespace

std::optional<int> WineProcessLauncher::runHiddenAndWait(std::string_view applicationName,
                                                         std::string_view commandLine,
                                                         std::string_view workingFolder) {
  return run(applicationName, commandLine, workingFolder, nullptr);
}

std::optional<int> WineProcessLauncher::runHiddenAndWaitCapturing(std::string_view applicationName,
                                                                  std::string_view commandLine,
                                                                  std::string_view workingFolder,
                                                                  std::string &errorOutput) {
  return run(applicationName, commandLine, workingFolder, &errorOutput);
}

std::optional<int> WineProcessLauncher::run(std::string_view applicationName, std::string_view commandLine,
                                            std::string_view workingFolder, std::string *errorOutput) {
  if (errorOutput) errorOutput->clear();
  std::optional<std::string> program;
  std::vector<std::string> args;
  if (!applicationName.empty()) {
    program = hostProgramFor(applicationName);
    args = splitArguments(commandLine);
  } else {
    for (const auto &[candidate, rest] : programCandidates(commandLine)) {
      if ((program = hostProgramFor(candidate))) {
        args = splitArguments(rest);
        break;
      }
    }
  }
  if (!program) return std::nullopt;

  std::optional<ErrorOutputFile> errors;
  if (errorOutput) errors.emplace();
  SpawnSetup setup;
  setup.silence(/*output=*/true, errors ? errors->fd() : -1);
  if (!workingFolder.empty()) {
    auto folder = m_files.hostPath(workingFolder);
    struct stat st {};
    if (!folder || ::stat(folder->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    ::posix_spawn_file_actions_addchdir_np(&setup.actions, folder->c_str());
  }
  pid_t pid = setup.start(*program, std::move(args), childEnvironment());
  if (pid < 0) return std::nullopt;
  const int status = waitForExit(pid);
  if (errors) *errorOutput = errors->read(MaxErrorOutput);
  return status;
}

bool WineProcessLauncher::startDetached(std::string_view commandLine) {
  for (const auto &[candidate, rest] : programCandidates(commandLine)) {
    std::string program;
    std::vector<std::string> args = splitArguments(rest);
    if (isRegistryEditor(candidate)) {
      auto editor = registryEditor();
      if (!editor) return false;
      program = *editor;
    } else {
      auto found = findProgramFile(candidate, isRegularFile);
      if (!found) continue;
      if (isWindowsProgram(found->hostPath)) {
        // Wine is given the program and each argument as one word of its own, and builds
        // from them the command line the Windows program reads.
        auto wine = findOnPath("wine");
        if (!wine) return false;
        program = *wine;
        args.insert(args.begin(), found->windowsPath);
      } else if (isExecutableFile(found->hostPath)) {
        program = found->hostPath;
      } else {
        return false;
      }
    }
    SpawnSetup setup;
    setup.silence(/*output=*/false);
    setup.detach();
    pid_t pid = setup.start(std::move(program), std::move(args), childEnvironment());
    if (pid < 0) return false;
    collectInBackground(pid);
    return true;
  }
  return false;
}

std::string WineProcessLauncher::startProblem() const {
  if (findOnPath("wine")) return {};
  return "Wine is not installed (there is no \"wine\" program on the PATH)";
}

// "https://...", "mailto:..." and the like: a scheme of two or more letters and a colon (one
// letter and a colon is a drive).
static bool isAddress(std::string_view target) {
  std::size_t colon = target.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    char c = target[i];
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
    if (!ok) return false;
  }
  return true;
}

bool WineProcessLauncher::shellOpen(std::string_view target) {
  if (target.empty()) return false;
  std::string argument;
  if (isAddress(target)) {
    argument = std::string(target);
  } else {
    auto host = m_files.hostPath(target);
    if (!host) return false;
    argument = *host;
  }
  auto opener = findOnPath("xdg-open");
  if (!opener) return false;
  SpawnSetup setup;
  setup.silence(/*output=*/true);
  pid_t pid = setup.start(*opener, {argument}, childEnvironment());
  if (pid < 0) return false;
  collectInBackground(pid);
  return true;
}

} // namespace tw::platform
