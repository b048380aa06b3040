// The tool on Windows: arguments arrive as UTF-16 (wmain) and become UTF-8
// for the portable parts; file names go back to UTF-16 for the wide API, so
// no character is lost to the ANSI code page. The console is switched to
// UTF-8 output, so that names print as they are.

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "system.h"
#include "win32_text.h"

namespace tarnwick::cli {

std::wstring Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = static_cast<int>(utf8.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (units <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), units);
  return wide;
}

std::string WideToUtf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

std::string SystemMessage(unsigned long error) {
  wchar_t* text = nullptr;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length > 0 ? std::wstring(text, length) : std::wstring();
  ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.')) {
    message.pop_back();
  }
  if (!message.empty()) return WideToUtf8(message);
  std::string fallback = "Windows error ";
  fallback.append(std::to_string(error));
  return fallback;
}

std::FILE* OpenFileForReading(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  if (wide.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  return ::_wfopen(wide.c_str(), L"rb");
}

std::optional<std::uint64_t> RegularFileSize(std::FILE* file) {
  struct _stat64 st {};
  if (::_fstat64(::_fileno(file), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool ReadExactlyAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t n) {
  // A seek drops what the stream had buffered, so a growing file is read afresh.
  return ::_fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0 && std::fread(buffer, 1, n, file) == n;
}

bool StdoutIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace tarnwick::cli

int wmain(int argc, wchar_t** argv) {
  ::SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> utf8;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view arg(argv[i]);
    std::string converted = tarnwick::cli::WideToUtf8(arg);
    // An argument that is not well-formed UTF-16 (an unpaired surrogate) has
    // no UTF-8 form: it is passed on as bytes that are not UTF-8 either, so
    // the path check refuses it with its message.
    if (converted.empty() && !arg.empty()) converted.push_back('\xFF');
    utf8.push_back(std::move(converted));
  }
  std::vector<std::string_view> args(utf8.begin(), utf8.end());
  return tarnwick::cli::RunTool(args);
}
