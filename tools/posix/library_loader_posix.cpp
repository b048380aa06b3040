#include "library_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace tarnwick::cli {
namespace {

// The build passes the library's soname (libTarnwick.so.1) and the platform's
// multiarch directory name (x86_64-linux-gnu on Debian; may be empty).
constexpr const char* kLibraryName = TARNWICK_LIBRARY_NAME;
constexpr const char* kMultiarch = TARNWICK_MULTIARCH;

// The directory of the running executable, symbolic links resolved, so that a
// link to the tool in /usr/local/bin still finds the library of its install.
std::string ExecutableDirectory() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  std::string path(buffer, static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::vector<std::string> Candidates() {
  std::vector<std::string> candidates;
  const std::string directory = ExecutableDirectory();
  if (!directory.empty()) {
    candidates.push_back(directory + "/" + kLibraryName);
    candidates.push_back(directory + "/../lib/" + kLibraryName);
    if (kMultiarch[0] != '\0') candidates.push_back(directory + "/../lib/" + kMultiarch + "/" + kLibraryName);
  }
  candidates.emplace_back(kLibraryName);  // no slash: the dynamic linker's own search
  return candidates;
}

void* Open(const std::string& path, std::string* error) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    // The tool loads its library on the main thread before anything else
    // runs, and dlerror has no reentrant form.
    const char* reason = ::dlerror();  // NOLINT(concurrency-mt-unsafe)
    *error = reason != nullptr ? reason : "unknown dynamic loader error";
  }
  return handle;
}

}  // namespace

void LoadedLibrary::Closer::operator()(void* handle) const { ::dlclose(handle); }

std::optional<LoadedLibrary> LoadedLibrary::Load(std::optional<std::string_view> explicit_path, std::string* error) {
  if (explicit_path) {
    // A name without a slash would send dlopen to the system search; the
    // option names a file, so it is taken relative to the working directory.
    std::string path(*explicit_path);
    if (path.find('/') == std::string::npos) path = "./" + path;
    std::string reason;
    if (void* handle = Open(path, &reason)) return LoadedLibrary(handle, path);
    *error = "cannot load the library given by --library: " + reason;
    return std::nullopt;
  }
  std::string first_reason;
  for (const std::string& candidate : Candidates()) {
    // A candidate that is not there is the normal case; a candidate that is
    // there but does not load is worth reporting if nothing else loads either.
    const bool is_search = candidate.find('/') == std::string::npos;
    if (!is_search && ::access(candidate.c_str(), F_OK) != 0) continue;
    std::string reason;
    if (void* handle = Open(candidate, &reason)) return LoadedLibrary(handle, candidate);
    if (first_reason.empty()) first_reason = reason;
  }
  *error =
      std::string("cannot load ") + kLibraryName +
      " (looked next to the program, in ../lib and ../lib/<multiarch> beside it, and on the system library path): " +
      first_reason;
  return std::nullopt;
}

void* LoadedLibrary::Symbol(const char* name) const { return ::dlsym(handle_.get(), name); }

}  // namespace tarnwick::cli
