#include <windows.h>

#include <string_view>

#include "library_loader.h"
#include "win32_text.h"

namespace tarnwick::cli {
namespace {

constexpr const wchar_t* kLibraryName = L"" TARNWICK_LIBRARY_NAME;

// The export table's ordinals: hosts bind by them, not by name.
WORD Ordinal(std::string_view name) {
  if (name == "WAVReverse") return 1;
  if (name == "SoundRecorderStart") return 3;
  if (name == "SoundRecorderStop") return 4;
  return 0;
}

std::wstring ExecutableDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

HMODULE Open(const std::wstring& path, std::string* error) {
  const HMODULE module = ::LoadLibraryW(path.c_str());
  if (module == nullptr) *error = SystemMessage(::GetLastError());
  return module;
}

}  // namespace

void LoadedLibrary::Closer::operator()(void* handle) const { ::FreeLibrary(static_cast<HMODULE>(handle)); }

std::optional<LoadedLibrary> LoadedLibrary::Load(std::optional<std::string_view> explicit_path, std::string* error) {
  if (explicit_path) {
    // A name without a directory would send LoadLibraryW to the DLL search;
    // the option names a file, so it is taken relative to the working
    // directory.
    std::wstring path = Utf8ToWide(*explicit_path);
    if (path.find_first_of(L"\\/") == std::wstring::npos) path = L".\\" + path;
    std::string reason;
    if (HMODULE module = Open(path, &reason)) return LoadedLibrary(module, WideToUtf8(path));
    *error = "cannot load the library given by --library: " + reason;
    return std::nullopt;
  }
  const std::wstring beside = ExecutableDirectory() + L"\\" + kLibraryName;
  std::string first_reason;
  if (::GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (HMODULE module = Open(beside, &first_reason)) return LoadedLibrary(module, WideToUtf8(beside));
  }
  std::string reason;
  if (HMODULE module = Open(kLibraryName, &reason)) return LoadedLibrary(module, WideToUtf8(kLibraryName));
  if (first_reason.empty()) first_reason = reason;
  *error = "cannot load " + WideToUtf8(kLibraryName) +
           " (looked next to the program and in the DLL search path): " + first_reason;
  return std::nullopt;
}

void* LoadedLibrary::Symbol(const char* name) const {
  const WORD ordinal = Ordinal(name);
  if (ordinal == 0) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_.get()), MAKEINTRESOURCEA(ordinal)));
}

}  // namespace tarnwick::cli
