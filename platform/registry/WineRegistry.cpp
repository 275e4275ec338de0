#include "platform/WineRegistry.h"

#include "platform/FileIdentity.h"

#include "platform/registry/RegistryEngine.h"
#include "platform/registry/RegistryRoots.h"
#include "platform/registry/RegistryText.h"
#include "platform/registry/WineFileParser.h"
#include "platform/registry/WineFileWriter.h"
#include "platform/registry/WineServerLock.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::platform {

namespace {

using detail::KeyId;
using detail::RegistryStore;
using Status = RegistryLoadResult::Status;

// Slices address files with 32-bit offsets; a registry file this large is not a registry.
constexpr std::size_t MaxFileBytes = std::size_t{1} << 31;

// The three files in the order Wine loads them, with the branch each holds.
struct FileRole {
  const char *name;
  const char *defaultRoot; // escaped, as Wine 8 writes it
};
constexpr std::array<FileRole, 3> Roles = {{
    {"system.reg", "REGISTRY\\\\Machine"},
    {"userdef.reg", "REGISTRY\\\\User\\\\.Default"},
    {"user.reg", "REGISTRY\\\\User\\\\"}, // the user's SID follows
}};
constexpr std::size_t SystemFile = 0;
constexpr std::size_t UserdefFile = 1;
constexpr std::size_t UserFile = 2;
constexpr unsigned EveryFile = 0b111;

// The files (bit i: Roles[i]) that hold a root's keys.
unsigned filesOfRoot(RegKey root) {
  if (root == HKEY_LOCAL_MACHINE || root == HKEY_CLASSES_ROOT || root == HKEY_CURRENT_CONFIG)
    return 1u << SystemFile;
  if (root == HKEY_CURRENT_USER) return 1u << UserFile;
  if (root == HKEY_USERS) return (1u << UserdefFile) | (1u << UserFile);
  return 0;
}

// The files a link's target (\Registry\Machine\..., \Registry\User\...) lies in.
unsigned filesOfLinkTarget(std::string_view target) {
  auto part = [&target]() {
    while (target.starts_with('\\')) target.remove_prefix(1);
    std::size_t cut = std::min(target.find('\\'), target.size());
    std::string_view name = target.substr(0, cut);
    target.remove_prefix(cut);
    return name;
  };
  if (!detail::sameName(part(), "Registry")) return 0;
  std::string_view branch = part();
  if (detail::sameName(branch, "Machine")) return 1u << SystemFile;
  if (!detail::sameName(branch, "User")) return 0;
  std::string_view user = part();
  if (user.empty()) return (1u << UserdefFile) | (1u << UserFile);
  return detail::sameName(user, ".Default") ? 1u << UserdefFile : 1u << UserFile;
}

// The files that links kept in the files of `read` lead into.
unsigned filesLinkedFrom(const RegistryStore &store, unsigned read) {
  unsigned linked = 0;
  for (KeyId id = 0; id < store.keySlots(); ++id) {
    if (!store.isLive(id)) continue;
    const detail::Key &key = store.key(id);
    if (!(key.flags & detail::keyflag::Link) || key.file >= Roles.size() || !(read & (1u << key.file))) continue;
    long index = store.findValue(id, "SymbolicLinkValue");
    if (index < 0) continue;
    detail::ValueData target = store.valueData(key, key.values[static_cast<std::size_t>(index)]);
    linked |= filesOfLinkTarget(detail::utf16leBytesToUtf8(target.bytes.data(), target.bytes.size()));
  }
  return linked;
}

RegistryLoadResult failure(Status status, const std::string &file, std::string detail = {}) {
  RegistryLoadResult r;
  r.status = status;
  r.file = file;
  r.detail = std::move(detail);
  return r;
}

// What is wrong with the file at `path` before it is opened: a pipe, device or folder in its
// place (opening a pipe would wait for a writer forever), or a link that leads nowhere (which
// would pass for a missing file and start its keys empty). Ok for a regular file, FileNotFound
// when there is nothing at all under the name.
RegistryLoadResult checkBeforeOpening(const std::string &path) {
  struct stat link{};
  if (::lstat(path.c_str(), &link) != 0)
    return failure(errno == ENOENT ? Status::FileNotFound : Status::ReadError, path, std::strerror(errno));
  struct stat target{};
  if (::stat(path.c_str(), &target) != 0) {
    if (S_ISLNK(link.st_mode) && errno == ENOENT)
      return failure(Status::NotAFile, path, "a symbolic link to a file that does not exist");
    return failure(Status::ReadError, path, std::strerror(errno));
  }
  if (S_ISFIFO(target.st_mode)) return failure(Status::NotAFile, path, "a named pipe");
  if (S_ISDIR(target.st_mode)) return failure(Status::NotAFile, path, "a folder");
  if (S_ISCHR(target.st_mode) || S_ISBLK(target.st_mode)) return failure(Status::NotAFile, path, "a device");
  if (S_ISSOCK(target.st_mode)) return failure(Status::NotAFile, path, "a socket");
  if (!S_ISREG(target.st_mode)) return failure(Status::NotAFile, path);
  return failure(Status::Ok, path);
}

// Reads a whole registry file; a missing file is reported as FileNotFound.
RegistryLoadResult readWholeFile(const std::string &path, std::string &bytes) {
  if (RegistryLoadResult checked = checkBeforeOpening(path); !checked) return checked;
  // Not blocking: should a pipe take the file's place after the check, the read below fails
  // instead of waiting.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return failure(errno == ENOENT ? Status::FileNotFound : Status::ReadError, path, std::strerror(errno));
  struct stat st{};
  RegistryLoadResult result = failure(Status::Ok, path);
  if (::fstat(fd, &st) != 0) {
    result = failure(Status::ReadError, path, std::strerror(errno));
  } else if (!S_ISREG(st.st_mode)) {
    result = failure(Status::NotAFile, path);
  } else if (static_cast<std::uint64_t>(st.st_size) >= MaxFileBytes) {
    result = failure(Status::TooLarge, path);
  } else {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        result = failure(Status::ReadError, path, n < 0 ? std::strerror(errno) : "the file shrank while being read");
        break;
      }
      done += static_cast<std::size_t>(n);
    }
  }
  ::close(fd);
  return result;
}

bool isFileWritable(const std::string &path, const std::string &folder, bool exists) {
  // Saving writes a new file beside the old one and renames it, so the folder must be
  // writable too. Root may write anything; a file without any write bit counts as
  // protected all the same.
  if (::access(folder.c_str(), W_OK) != 0) return false;
  if (!exists) return true;
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return false;
  if ((st.st_mode & 0222) == 0) return false;
  return ::access(path.c_str(), W_OK) == 0;
}

// The user's SID from user.reg's "All keys relative to" line (…\\User\\S-1-5-…).
std::string userSidFrom(const std::string &rootText) {
  std::size_t cut = rootText.rfind("\\\\");
  std::string sid = cut == std::string::npos ? std::string() : rootText.substr(cut + 2);
  bool plain = !sid.empty() && sid.size() < 200 && sid.compare(0, 2, "S-") == 0 &&
               sid.find_first_not_of("S-0123456789") == std::string::npos;
  return plain ? sid : std::string(detail::DefaultUserSid);
}

struct LoadedPrefix;

class WineRegistryImpl final : public WineRegistry {
public:
  long openKey(RegKey parent, std::string_view subKey, std::uint32_t desiredAccess, RegKey &result) override {
    return m_engine->openKey(parent, subKey, desiredAccess, result);
  }
  long createKey(RegKey parent, std::string_view subKey, std::uint32_t desiredAccess, RegKey &result,
                 bool *created) override {
    return m_engine->createKey(parent, subKey, desiredAccess, result, created);
  }
  long closeKey(RegKey key) override { return m_engine->closeKey(key); }
  long queryInfoKey(RegKey key, KeyInfo &info) override { return m_engine->queryInfoKey(key, info); }
  long enumKey(RegKey key, std::uint32_t index, std::string &name) override {
    return m_engine->enumKey(key, index, name);
  }
  long enumValue(RegKey key, std::uint32_t index, RegValue &value, DataForm form) override {
    return m_engine->enumValue(key, index, value, form);
  }
  long queryValue(RegKey key, std::string_view name, RegValue &value, DataForm form) override {
    return m_engine->queryValue(key, name, value, form);
  }
  long setValue(RegKey key, std::string_view name, std::uint32_t type, const std::uint8_t *data, std::size_t size,
                DataForm form) override {
    return m_engine->setValue(key, name, type, data, size, form);
  }
  long deleteKey(RegKey key, std::string_view subKey) override { return m_engine->deleteKey(key, subKey); }
  long deleteValue(RegKey key, std::string_view name) override { return m_engine->deleteValue(key, name); }
  long flushKey(RegKey key) override { return m_engine->flushKey(key); }
  long discardUnflushedChanges() override { return m_engine->discardUnflushedChanges(); }
  bool hasTwoViews() const override { return m_engine->hasTwoViews(); }
  long storedKeyPath(RegKey key, RegKey &root, std::string &subKey) override {
    return m_engine->storedKeyPath(key, root, subKey);
  }

  long reloadBackingStore(std::string *problem) override;

  bool isReadOnly() const override { return !readOnlyReason().empty(); }
  std::string readOnlyReason() const override {
    std::lock_guard lock(m_saveMutex);
    return m_readOnlyReason;
  }
  SaveResult lastSaveResult() const override {
    std::lock_guard lock(m_saveMutex);
    return m_lastSave;
  }
  std::string lastSaveError() const override { return lastFlushFailure().description(); }
  FlushFailure lastFlushFailure() const override {
    std::lock_guard lock(m_saveMutex);
    return m_lastFailure;
  }

  static std::unique_ptr<WineRegistryImpl> open(const std::string &prefixDir, RegistryLoadResult &result,
                                                const WineRegistryOptions &options, unsigned wantedFiles);

private:
  long save(RegistryStore &store);
  void takeFileFacts(const LoadedPrefix &loaded);
  void noteSave(const SaveResult &saved, FlushFailure failure) {
    std::lock_guard lock(m_saveMutex);
    m_lastSave = saved;
    m_lastFailure = std::move(failure);
  }
  /// Why the changed file `i` cannot be saved now, before anything is written.
  FlushFailure::Cause obstacleToSaving(std::size_t i, const detail::BranchFile &file) const;

  std::string m_prefixDir;
  WineRegistryOptions m_options;
  unsigned m_wanted = EveryFile; // the files the roots asked for need
  std::unique_ptr<detail::RegistryEngine> m_engine;
  std::array<detail::FileHeader, 3> m_headers;
  std::array<FileIdentity, 3> m_onDisk;
  unsigned m_read = EveryFile;
  std::string m_arch;
  std::string m_readOnlyReason;
  bool m_checkServer = true;
  mutable std::mutex m_saveMutex;
  SaveResult m_lastSave{SaveResult::Status::Ok, {}, 0};
  FlushFailure m_lastFailure;
};

// What reading a prefix's three files gives: the tree and what the registry keeps about each
// file.
struct LoadedPrefix {
  std::unique_ptr<RegistryStore> store;
  detail::RootKeys roots;
  std::array<detail::FileHeader, 3> headers;
  std::array<FileIdentity, 3> onDisk;
  std::string arch;
  std::string readOnlyReason;
  bool serverOwnsRegistry = false;
  /// The files that were read (bit i: Roles[i]); the others are left out and never written.
  unsigned read = EveryFile;
};

// Which files a registry opened for `roots` (nothing: every root) reads.
unsigned filesOfRoots(const std::optional<std::vector<RegKey>> &roots) {
  if (!roots) return EveryFile;
  unsigned files = 0;
  for (RegKey root : *roots) files |= filesOfRoot(root);
  return files;
}

std::optional<LoadedPrefix> loadPrefix(const std::string &prefixDir, RegistryLoadResult &result,
                                       const WineRegistryOptions &options, unsigned wantedFiles) {
  struct stat st{};
  if (::stat(prefixDir.c_str(), &st) != 0) {
    result = failure(Status::FileNotFound, prefixDir, "the prefix folder does not exist");
    return std::nullopt;
  }
  if (!S_ISDIR(st.st_mode)) {
    result = failure(Status::NotAFile, prefixDir, "the prefix is not a folder");
    return std::nullopt;
  }
  LoadedPrefix loaded;
  loaded.read = wantedFiles;
  loaded.store = std::make_unique<RegistryStore>();
  RegistryStore *store = loaded.store.get();
  std::array<std::string, 3> paths;
  std::array<bool, 3> exists{};
  std::array<std::string, 3> contents;
  for (std::size_t i = 0; i < Roles.size(); ++i) {
    paths[i] = prefixDir + "/" + Roles[i].name;
    const bool wanted = (loaded.read & (1u << i)) != 0;
    RegistryLoadResult read = wanted ? readWholeFile(paths[i], contents[i]) : checkBeforeOpening(paths[i]);
    exists[i] = read.status != Status::FileNotFound;
    // A prefix without user files is one Wine has not finished making; Wine starts those
    // branches empty, and so do we. Without system.reg it is no prefix at all.
    if (read.status == Status::FileNotFound && i != SystemFile) continue;
    if (!read) {
      result = read;
      return std::nullopt;
    }
    if (wanted) loaded.onDisk[i] = fileIdentityOf(paths[i]);
  }

  // The user's branch is named after the SID in user.reg's header, which must be read first.
  std::string sid(detail::DefaultUserSid);
  if (exists[UserFile] && (loaded.read & (1u << UserFile))) {
    const std::string &text = contents[UserFile];
    std::size_t start = text.find('\n');
    std::size_t end = start == std::string::npos ? start : text.find('\n', start + 1);
    std::string_view second = start == std::string::npos ? std::string_view() : std::string_view(text).substr(start + 1, end - start - 1);
    constexpr std::string_view Comment = ";; All keys relative to ";
    if (second.substr(0, Comment.size()) == Comment) sid = userSidFrom(std::string(second.substr(Comment.size())));
  }
  const std::array<std::string, 3> branchPaths = {"Machine", "User\\.Default", "User\\" + sid};

  for (std::size_t i = 0; i < Roles.size(); ++i) {
    detail::BranchFile file;
    file.path = paths[i];
    file.bytes = std::move(contents[i]);
    file.branch = detail::ensureKeyPath(*store, branchPaths[i]);
    store->key(file.branch).file = static_cast<std::uint8_t>(i);
    store->files().push_back(std::move(file));
  }
  for (std::size_t i = 0; i < Roles.size(); ++i) {
    if (!exists[i] || !(loaded.read & (1u << i))) {
      loaded.headers[i].rootText = Roles[i].defaultRoot + (i == UserFile ? sid : std::string());
      continue;
    }
    RegistryLoadResult parsed = detail::parseBranchFile(*store, static_cast<std::uint8_t>(i), loaded.headers[i]);
    if (!parsed) {
      result = parsed;
      return std::nullopt;
    }
    if (loaded.headers[i].rootText.empty())
      loaded.headers[i].rootText = Roles[i].defaultRoot + (i == UserFile ? sid : std::string());
  }
  // A link into a file left out would lead nowhere: such a prefix is read whole.
  if (loaded.read != EveryFile && (filesLinkedFrom(*store, loaded.read) & ~loaded.read) != 0)
    return loadPrefix(prefixDir, result, options, EveryFile);

  // Every file carries the prefix's architecture; Wine refuses files that disagree. A
  // system.reg without the line makes a 32-bit prefix, as Wine decides.
  for (std::size_t i = 0; i < Roles.size(); ++i) {
    const std::string &arch = loaded.headers[i].arch;
    if (arch.empty()) continue;
    if (!loaded.arch.empty() && arch != loaded.arch) {
      result = failure(Status::BadArchitecture, paths[i], "its #arch line differs from the other registry files");
      return std::nullopt;
    }
    loaded.arch = arch;
  }
  if (loaded.arch.empty()) loaded.arch = "win32";

  std::string reason;
  if (options.readOnly) reason = "The registry was opened read-only.";
  if (reason.empty() && !options.ignoreRunningServer && detail::isWineServerRunning(prefixDir)) {
    loaded.serverOwnsRegistry = true;
    reason = "Wine is running for this prefix and owns its registry, so the registry can only be read. Close "
             "every Wine program (or run \"wineserver -k\") and open it again to make changes.";
  }
  for (std::size_t i = 0; i < Roles.size(); ++i) {
    if (!(loaded.read & (1u << i))) {
      store->files()[i].writable = false; // left out: its keys are not there to change
      continue;
    }
    bool writable = isFileWritable(paths[i], prefixDir, exists[i]);
    store->files()[i].writable = writable;
    if (!writable && reason.empty())
      reason = "The registry file " + paths[i] + " cannot be written, so the keys it holds can only be read.";
  }
  loaded.readOnlyReason = reason;
  loaded.roots = detail::makeRootKeys(*store, sid);
  // The roots of files left out refuse to open, rather than look empty.
  if (!(loaded.read & (1u << SystemFile)))
    loaded.roots.localMachine = loaded.roots.classesRoot = loaded.roots.currentConfig = detail::NoKey;
  if (!(loaded.read & (1u << UserFile))) loaded.roots.currentUser = detail::NoKey;
  if ((loaded.read & filesOfRoot(HKEY_USERS)) != filesOfRoot(HKEY_USERS)) loaded.roots.users = detail::NoKey;
  result = failure(Status::Ok, prefixDir);
  return loaded;
}

std::unique_ptr<WineRegistryImpl> WineRegistryImpl::open(const std::string &prefixDir, RegistryLoadResult &result,
                                                         const WineRegistryOptions &options, unsigned wantedFiles) {
  std::optional<LoadedPrefix> loaded = loadPrefix(prefixDir, result, options, wantedFiles);
  if (!loaded) return nullptr;
  auto self = std::make_unique<WineRegistryImpl>();
  self->m_prefixDir = prefixDir;
  self->m_options = options;
  self->m_wanted = wantedFiles;
  self->m_checkServer = !options.ignoreRunningServer;
  WineRegistryImpl *raw = self.get();
  self->m_engine = std::make_unique<detail::RegistryEngine>(std::move(loaded->store), loaded->roots,
                                                            [raw](RegistryStore &s) { return raw->save(s); });
  self->takeFileFacts(*loaded);
  return self;
}

FlushFailure::Cause WineRegistryImpl::obstacleToSaving(std::size_t i, const detail::BranchFile &file) const {
  // A file left out holds keys this registry never read: writing it would erase them.
  if (!(m_read & (1u << i))) return FlushFailure::Cause::WriteProtected;
  // A wineserver that started after we read the files owns them now, and a file that changed
  // on disk holds changes we have not seen: overwriting either would lose data.
  if (m_checkServer && detail::isWineServerRunning(m_prefixDir)) return FlushFailure::Cause::ServerRunning;
  if (!(fileIdentityOf(file.path) == m_onDisk[i])) return FlushFailure::Cause::ChangedOnDisk;
  return FlushFailure::Cause::None;
}

static FlushFailure::Cause causeOf(SaveResult::Status status) {
  switch (status) {
  case SaveResult::Status::Ok: return FlushFailure::Cause::None;
  case SaveResult::Status::NotARegularFile: return FlushFailure::Cause::NotARegularFile;
  case SaveResult::Status::WriteProtected: return FlushFailure::Cause::WriteProtected;
  case SaveResult::Status::CannotCreate: return FlushFailure::Cause::CannotCreate;
  case SaveResult::Status::WriteFailed: return FlushFailure::Cause::WriteFailed;
  case SaveResult::Status::SyncFailed: return FlushFailure::Cause::SyncFailed;
  case SaveResult::Status::RenameFailed: return FlushFailure::Cause::RenameFailed;
  }
  return FlushFailure::Cause::WriteFailed;
}

void WineRegistryImpl::takeFileFacts(const LoadedPrefix &loaded) {
  m_headers = loaded.headers;
  m_onDisk = loaded.onDisk;
  m_read = loaded.read;
  m_arch = loaded.arch;
  {
    std::lock_guard lock(m_saveMutex);
    m_readOnlyReason = loaded.readOnlyReason;
  }
  m_engine->setReadOnly(m_options.readOnly || loaded.serverOwnsRegistry);
  // A 64-bit prefix keeps the 32-bit programs' keys in a view of their own; a 32-bit one has one view.
  m_engine->setTwoViews(loaded.arch == "win64");
}

long WineRegistryImpl::reloadBackingStore(std::string *problem) {
  RegistryLoadResult result;
  std::optional<LoadedPrefix> loaded = loadPrefix(m_prefixDir, result, m_options, m_wanted);
  if (!loaded) {
    if (problem) *problem = result.description() + "; the program goes on with the registry as it read it before";
    return error::FileNotFound;
  }
  m_engine->replaceTree(std::move(loaded->store), loaded->roots, [&] { takeFileFacts(*loaded); });
  noteSave(SaveResult{SaveResult::Status::Ok, {}, 0}, {});
  return error::Success;
}

long WineRegistryImpl::save(RegistryStore &store) {
  std::vector<detail::BranchFile> &files = store.files();
  std::array<bool, 3> failed{};
  SaveResult lastSaved{SaveResult::Status::Ok, {}, 0};
  FlushFailure failure;
  // Every changed file is checked before any is written, so that a flush refused for the
  // prefix's sake (Wine runs, another program wrote a file) writes none of them: one action's
  // changes reach the disk whole or not at all.
  for (std::size_t i = 0; i < files.size() && !failure.failed(); ++i) {
    if (files[i].changes == files[i].saved) continue;
    failure.cause = obstacleToSaving(i, files[i]);
    failure.file = files[i].path;
  }
  if (failure.failed()) {
    for (std::size_t i = 0; i < files.size(); ++i) failed[i] = files[i].changes != files[i].saved;
  } else {
    failure = {};
  }
  for (std::size_t i = 0; i < files.size() && !failure.failed(); ++i) {
    detail::BranchFile &file = files[i];
    if (file.changes == file.saved) continue;
    // A registry file that is a symbolic link is replaced where it really lives.
    std::string target = file.path;
    if (char *real = ::realpath(file.path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
    AtomicFileWriter writer(target);
    detail::writeBranchFile(store, static_cast<std::uint8_t>(i), m_headers[i].rootText, m_arch,
                            [&writer](std::string_view piece) {
                              // Small pieces keep the writer's buffer small, whatever the file's size.
                              constexpr std::size_t Slice = std::size_t{256} * 1024;
                              bool ok = true;
                              for (std::size_t at = 0; ok && at < piece.size(); at += Slice)
                                ok = writer.write(piece.substr(at, Slice));
                              return ok;
                            });
    SaveResult saved = writer.commit();
    if (!saved) {
      // The files after this one are not written either; what was written stays written.
      for (std::size_t j = i; j < files.size(); ++j) failed[j] = files[j].changes != files[j].saved;
      lastSaved = saved;
      failure.cause = causeOf(saved.status);
      failure.file = file.path;
      failure.osError = saved.osError;
      break;
    }
    file.saved = file.changes;
    m_onDisk[i] = fileIdentityOf(file.path);
  }
  // What reached the disk (and changes to keys no file holds) can no longer be taken back.
  store.forgetChanges([&failed](std::uint8_t file) { return file < failed.size() && failed[file]; });
  const long status = !failure.failed()                                        ? error::Success
                      : failure.cause == FlushFailure::Cause::ServerRunning ||
                              failure.cause == FlushFailure::Cause::WriteProtected
                          ? error::AccessDenied
                          : error::WriteFault;
  noteSave(lastSaved, std::move(failure));
  return status;
}

} // namespace

std::string RegistryLoadResult::description() const {
  std::string what;
  switch (status) {
  case Status::Ok: return "loaded " + file;
  case Status::FileNotFound: what = "not found"; break;
  case Status::NotAFile: what = "not a regular file"; break;
  case Status::ReadError: what = "cannot be read"; break;
  case Status::TooLarge: what = "too large for a registry file"; break;
  case Status::BadHeader: what = "not a Wine registry file"; break;
  case Status::BadArchitecture: what = "unknown or conflicting architecture"; break;
  case Status::MalformedKey: what = "malformed key line"; break;
  case Status::MalformedValue: what = "malformed value"; break;
  case Status::MalformedOption: what = "malformed option line"; break;
  case Status::DuplicateKey: what = "duplicate key"; break;
  case Status::DuplicateValue: what = "duplicate value"; break;
  case Status::ValueWithoutKey: what = "value outside any key"; break;
  case Status::UnexpectedLine: what = "unexpected line"; break;
  case Status::TooDeep: what = "keys nested too deep"; break;
  }
  std::string text = "cannot open the registry: " + file;
  if (line > 0) text += ", line " + std::to_string(line);
  text += ": " + what;
  if (!detail.empty()) text += " (" + detail + ")";
  return text;
}

std::unique_ptr<WineRegistry> openWineRegistry(const std::string &prefixDir, RegistryLoadResult &result,
                                               const WineRegistryOptions &options,
                                               const std::optional<std::vector<RegKey>> &roots) {
  return WineRegistryImpl::open(prefixDir, result, options, filesOfRoots(roots));
}

RegistryLoadResult checkRegistryText(std::string_view text, std::string_view fileName) {
  if (text.size() >= MaxFileBytes) return failure(Status::TooLarge, std::string(fileName));
  RegistryStore store;
  detail::BranchFile file;
  file.path.assign(fileName);
  file.bytes.assign(text);
  file.branch = detail::ensureKeyPath(store, "Machine");
  store.key(file.branch).file = 0;
  store.files().push_back(std::move(file));
  detail::FileHeader header;
  return detail::parseBranchFile(store, 0, header);
}

} // namespace tw::platform
