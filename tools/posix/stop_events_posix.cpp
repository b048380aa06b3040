#include "stop_events.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace tarnwick::cli {
namespace {

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  return signals;
}

int Fd(std::intptr_t source) { return static_cast<int>(source); }

}  // namespace

StopEvents::StopEvents() {
  if (::fcntl(STDIN_FILENO, F_GETFD) < 0) {
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null > STDIN_FILENO) ::close(null);
  } else {
    watch_stdin_ = true;
  }
  const sigset_t signals = StopSignals();
  (void)std::signal(SIGPIPE, SIG_IGN);
  if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
  const int fd = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd >= 0) source_ = fd;
}

StopEvents::~StopEvents() {
  if (source_ != -1) ::close(Fd(source_));
}

bool StopEvents::WatchingStdin() const { return watch_stdin_; }

// A background job that reads its terminal is stopped by SIGTTIN; such a job
// leaves the terminal to the shell until it is brought to the foreground.
bool StopEvents::StdinInForeground() const {
  if (!::isatty(STDIN_FILENO)) return true;
  return ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
}

// Takes what stdin has; true once a line has ended. At end of file or on an
// error it stops watching stdin.
bool StopEvents::ReadStdinLine() {
  char text[256];
  const ssize_t got = ::read(STDIN_FILENO, text, sizeof text);
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return false;
  if (got <= 0) {
    watch_stdin_ = false;
    return false;
  }
  return std::memchr(text, '\n', static_cast<std::size_t>(got)) != nullptr;
}

StopEvents::Event StopEvents::Wait(int timeout_ms) {
  pollfd watched[2] = {{Fd(source_), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
  const bool with_stdin = watch_stdin_ && StdinInForeground();
  const int ready = ::poll(watched, with_stdin ? 2 : 1, timeout_ms);
  if (ready <= 0) return Event::kNone;  // timed out, or interrupted (a stop and continue)
  if ((watched[0].revents & POLLIN) != 0) {
    signalfd_siginfo info{};
    if (::read(Fd(source_), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) return Event::kSignal;
  }
  if (with_stdin && watched[1].revents != 0) {
    if ((watched[1].revents & (POLLIN | POLLHUP)) != 0) {
      if (ReadStdinLine()) return Event::kEnter;
    } else {
      watch_stdin_ = false;  // POLLERR, POLLNVAL: nothing more will come
    }
  }
  return Event::kNone;
}

}  // namespace tarnwick::cli
