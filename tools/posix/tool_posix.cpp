// The tool on POSIX systems: arguments are bytes, taken as UTF-8 and made
// UTF-16 once for the library; names go to the file system as they came.
// Signals arrive through a signalfd, writes to the recording through inotify.

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "tool.h"

namespace tarnwick::tool {
namespace {

int g_signals = -1;  // a signalfd
int g_writes = -1;   // an inotify descriptor
bool g_watching_stdin = false;

// Strict UTF-8 as UTF-16: the C library's converter refuses overlong forms,
// surrogates, code points above U+10FFFF and cut-off sequences.
bool ToUtf16(std::string utf8, std::u16string* utf16) {
  const iconv_t converter = ::iconv_open(std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;  // NOLINT(performance-no-int-to-ptr): its failure
  utf16->assign(utf8.size(), u'\0');                             // never more units than bytes
  char* in = utf8.data();
  std::size_t in_left = utf8.size();
  char* out = reinterpret_cast<char*>(utf16->data());
  std::size_t out_left = utf16->size() * 2;
  const bool ok = ::iconv(converter, &in, &in_left, &out, &out_left) != static_cast<std::size_t>(-1) && in_left == 0;
  ::iconv_close(converter);
  utf16->resize(ok ? utf16->size() - out_left / 2 : 0);
  return ok;
}

}  // namespace

std::FILE* OpenForReading(const Arg& file) { return std::fopen(file.text.c_str(), "rb"); }

std::optional<std::uint64_t> RegularFileSize(std::FILE* file) {
  struct stat st {};
  if (::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool ReadAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t n) {
  return ::pread(::fileno(file), buffer, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
}

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

bool TakeStopEvents() {
  // A closed descriptor 0 is opened on /dev/null, so that no file the library
  // opens can land there.
  g_watching_stdin = ::fcntl(STDIN_FILENO, F_GETFD) >= 0;
  if (!g_watching_stdin) {
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null > STDIN_FILENO) ::close(null);
  }
  sigset_t signals;
  sigemptyset(&signals);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
  (void)std::signal(SIGPIPE, SIG_IGN);
  // Blocked until exit: a signal while the file is being finished is ignored.
  if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) == 0) g_signals = ::signalfd(-1, &signals, SFD_CLOEXEC);
  return g_signals >= 0;
}

bool WatchingStdin() { return g_watching_stdin; }

bool WatchForWrites(const Arg& file) {
  g_writes = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  return g_writes >= 0 && ::inotify_add_watch(g_writes, file.text.c_str(), IN_MODIFY) >= 0;
}

bool WaitForStop(int timeout_ms) {
  // A background job that reads its terminal is stopped by SIGTTIN: stdin is
  // watched only while the job has the terminal.
  const bool with_stdin = g_watching_stdin && (::isatty(STDIN_FILENO) == 0 || ::tcgetpgrp(STDIN_FILENO) == ::getpgrp());
  pollfd fds[3] = {{g_signals, POLLIN, 0}, {g_writes, POLLIN, 0}, {with_stdin ? 0 : -1, POLLIN, 0}};
  if (::poll(fds, 3, timeout_ms) <= 0) return false;  // timed out, or a stop and continue
  if ((fds[0].revents & POLLIN) != 0) return true;
  if (fds[2].revents != 0) {
    char text[256];
    const ssize_t got = (fds[2].revents & (POLLIN | POLLHUP)) != 0 ? ::read(STDIN_FILENO, text, sizeof text) : 0;
    if (got > 0 && std::memchr(text, '\n', static_cast<std::size_t>(got)) != nullptr) return true;
    // End of file, an error, POLLERR or POLLNVAL: nothing more will come.
    if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) g_watching_stdin = false;
  }
  char events[4096];
  while (fds[1].revents != 0 && ::read(g_writes, events, sizeof events) > 0) {
  }
  return false;
}

}  // namespace tarnwick::tool

int main(int argc, char** argv) {
  std::vector<tarnwick::tool::Arg> args;
  for (int i = 1; i < argc; ++i) {
    tarnwick::tool::Arg arg{argv[i], {}, true};
    arg.is_utf8 = tarnwick::tool::ToUtf16(arg.text, &arg.path);
    args.push_back(std::move(arg));
  }
  return tarnwick::tool::RunTool(args);
}
