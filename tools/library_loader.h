#pragma once
// Finds and loads the library at run time, the way a host application does:
// the tool is not linked against the library, so the library it runs is the
// one it finds, and a missing library is a message rather than a loader crash.
// One implementation per OS: posix/library_loader_posix.cpp (dlopen),
// win32/library_loader_win32.cpp (LoadLibraryW, functions bound by ordinal).

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick::cli {

class LoadedLibrary {
 public:
  // With `explicit_path`, loads exactly that file. Otherwise tries, in order:
  // the library next to the executable, on Linux ../lib and ../lib/<multiarch>
  // relative to it (the installed layout), then the system's own search
  // (LD_LIBRARY_PATH and ld.so.cache; on Windows the DLL search order). On
  // failure returns nothing and sets `error` to a one-line explanation.
  static std::optional<LoadedLibrary> Load(std::optional<std::string_view> explicit_path, std::string* error);

  // The address of an exported function, or null when the library lacks it.
  // `Function` is the function pointer type, e.g. decltype(&WAVReverse). On
  // Windows the name stands for its ordinal (1, 3, 4), which binds it.
  template <typename Function>
  Function Find(const char* name) const {
    return reinterpret_cast<Function>(Symbol(name));
  }

  // The file the library was loaded from, for messages.
  const std::string& path() const { return path_; }

 private:
  struct Closer {
    void operator()(void* handle) const;
  };

  LoadedLibrary(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  void* Symbol(const char* name) const;

  std::unique_ptr<void, Closer> handle_;
  std::string path_;
};

}  // namespace tarnwick::cli
