/* A capture device for the tests that behaves like sound hardware: an ALSA I/O
 * plugin paced by the monotonic clock, with a ring buffer of fixed size that
 * overruns (the pointer reports -EPIPE, the descriptor POLLERR) when the reader
 * falls behind by more than the ring, and that can be told to suspend.
 *
 * Its samples are known: frame n since the first start carries (n * 7) mod
 * 65536 on every channel, 16-bit little-endian. Frames lost in an overrun or a
 * suspend are skipped in that count, so a loss shows as a jump.
 *
 * Configuration (all optional):
 *   pcm_type.paced_test { lib "/path/to/this/library.so" }
 *   pcm.name {
 *     type paced_test
 *     max_buffer_bytes 64000   # the largest ring it accepts
 *     suspend_at_ms 300        # suspends once, this long after the first start
 *     resume true              # whether snd_pcm_resume brings it back
 *     start_delay_ms 1500      # the first start produces nothing this long,
 *                              # as a device that is slow to wake up
 *     open_error 16            # refuses to open with this errno, as a busy
 *                              # or vanished device would
 *   }
 */

#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

typedef struct {
  snd_pcm_ioplug_t io;
  uint64_t first_start_ns;    /* 0 until the first start */
  uint64_t run_start_ns;      /* when the current run began (start or resume) */
  uint64_t run_origin;        /* ramp index of the run's first frame */
  snd_pcm_uframes_t run_hw;   /* hardware position when the run began */
  snd_pcm_uframes_t run_appl; /* reader position when the run began */
  long suspend_at_ms;
  long start_delay_ms;
  int suspended_once;
  int resume_works;
} paced_t;

static uint64_t now_ns(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (uint64_t)t.tv_sec * 1000000000u + (uint64_t)t.tv_nsec;
}

static uint64_t frames_in(const paced_t* p, uint64_t ns) { return ns * p->io.rate / 1000000000u; }

/* Frames the device has produced since the run began. */
static uint64_t produced(const paced_t* p) {
  uint64_t now = now_ns();
  return now < p->run_start_ns ? 0 : frames_in(p, now - p->run_start_ns);
}

static void begin_run(paced_t* p) {
  uint64_t now = now_ns();
  if (p->first_start_ns == 0) now = p->first_start_ns = now + (uint64_t)p->start_delay_ms * 1000000u;
  p->run_start_ns = now;
  p->run_origin = frames_in(p, now - p->first_start_ns);
  p->run_hw = p->io.hw_ptr;
  p->run_appl = p->io.appl_ptr;
}

static void arm_timer(paced_t* p, int on) {
  struct itimerspec spec = {{0, 0}, {0, 0}};
  if (on) {
    uint64_t period_ns = (uint64_t)p->io.period_size * 1000000000u / p->io.rate;
    spec.it_interval.tv_sec = (time_t)(period_ns / 1000000000u);
    spec.it_interval.tv_nsec = (long)(period_ns % 1000000000u);
    spec.it_value = spec.it_interval;
  }
  timerfd_settime(p->io.poll_fd, 0, &spec, NULL);
}

static int is_due_to_suspend(paced_t* p) {
  if (p->suspend_at_ms < 0 || p->suspended_once || p->io.state != SND_PCM_STATE_RUNNING) return 0;
  if (now_ns() - p->first_start_ns < (uint64_t)p->suspend_at_ms * 1000000u) return 0;
  p->suspended_once = 1;
  snd_pcm_ioplug_set_state(&p->io, SND_PCM_STATE_SUSPENDED);
  return 1;
}

/* Unread frames; a full ring is an overrun, as in hardware whose stop
 * threshold is the ring's size. */
static uint64_t backlog(const paced_t* p) { return p->run_hw + produced(p) - p->io.appl_ptr; }

static int paced_start(snd_pcm_ioplug_t* io) {
  paced_t* p = io->private_data;
  begin_run(p);
  arm_timer(p, 1);
  return 0;
}

static int paced_stop(snd_pcm_ioplug_t* io) {
  arm_timer(io->private_data, 0);
  return 0;
}

static snd_pcm_sframes_t paced_pointer(snd_pcm_ioplug_t* io) {
  paced_t* p = io->private_data;
  if (io->state == SND_PCM_STATE_SUSPENDED || is_due_to_suspend(p)) {
    return (snd_pcm_sframes_t)(io->hw_ptr % io->buffer_size);
  }
  if (io->state != SND_PCM_STATE_RUNNING) return (snd_pcm_sframes_t)(io->hw_ptr % io->buffer_size);
  if (backlog(p) >= io->buffer_size) return -EPIPE;
  return (snd_pcm_sframes_t)((p->run_hw + produced(p)) % io->buffer_size);
}

static snd_pcm_sframes_t paced_transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                                        snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
  paced_t* p = io->private_data;
  uint64_t index = p->run_origin + (io->appl_ptr - p->run_appl);
  for (snd_pcm_uframes_t k = 0; k < size; ++k) {
    uint16_t value = (uint16_t)((index + k) * 7u);
    for (unsigned c = 0; c < io->channels; ++c) {
      unsigned char* at = (unsigned char*)areas[c].addr + (areas[c].first + areas[c].step * (offset + k)) / 8;
      at[0] = (unsigned char)(value & 0xff);
      at[1] = (unsigned char)(value >> 8);
    }
  }
  return (snd_pcm_sframes_t)size;
}

static int paced_poll_revents(snd_pcm_ioplug_t* io, struct pollfd* fds, unsigned int count, unsigned short* revents) {
  paced_t* p = io->private_data;
  uint64_t expirations;
  (void)count;
  if (fds[0].revents & POLLIN) {
    ssize_t got = read(io->poll_fd, &expirations, sizeof expirations);
    (void)got;
  }
  *revents = 0;
  if (io->state == SND_PCM_STATE_SUSPENDED || is_due_to_suspend(p)) {
    *revents = POLLIN | POLLERR;
  } else if (io->state == SND_PCM_STATE_RUNNING) {
    uint64_t unread = backlog(p);
    if (unread >= io->buffer_size) {
      *revents = POLLIN | POLLERR;
    } else if (unread >= io->period_size) {
      *revents = POLLIN;
    }
  }
  return 0;
}

static int paced_resume(snd_pcm_ioplug_t* io) {
  paced_t* p = io->private_data;
  if (!p->resume_works) return 0; /* stays suspended, as a device that cannot resume */
  begin_run(p);
  snd_pcm_ioplug_set_state(io, SND_PCM_STATE_RUNNING);
  return 0;
}

static int paced_close(snd_pcm_ioplug_t* io) {
  paced_t* p = io->private_data;
  close(io->poll_fd);
  free(p);
  return 0;
}

static const snd_pcm_ioplug_callback_t paced_callbacks = {
    .start = paced_start,
    .stop = paced_stop,
    .pointer = paced_pointer,
    .transfer = paced_transfer,
    .poll_revents = paced_poll_revents,
    .resume = paced_resume,
    .close = paced_close,
};

static int set_constraints(paced_t* p, long max_buffer_bytes) {
  static const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
  static const unsigned int formats[] = {SND_PCM_FORMAT_S16_LE};
  snd_pcm_ioplug_t* io = &p->io;
  int error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, access);
  if (error == 0) error = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, 1, formats);
  if (error == 0) error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 2);
  if (error == 0) error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_RATE, 8000, 48000);
  if (error == 0) error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 65536);
  if (error == 0) error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 1024);
  if (error == 0) {
    error = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 128, (unsigned int)max_buffer_bytes);
  }
  return error;
}

SND_PCM_PLUGIN_DEFINE_FUNC(paced_test) {
  snd_config_iterator_t i, next;
  long max_buffer_bytes = 64000;
  long suspend_at_ms = -1;
  long start_delay_ms = 0;
  int resume_works = 1;
  long open_error = 0;
  (void)root;
  snd_config_for_each(i, next, conf) {
    snd_config_t* entry = snd_config_iterator_entry(i);
    const char* id;
    if (snd_config_get_id(entry, &id) < 0) continue;
    if (strcmp(id, "comment") == 0 || strcmp(id, "type") == 0 || strcmp(id, "hint") == 0) continue;
    if (strcmp(id, "max_buffer_bytes") == 0 && snd_config_get_integer(entry, &max_buffer_bytes) == 0) continue;
    if (strcmp(id, "suspend_at_ms") == 0 && snd_config_get_integer(entry, &suspend_at_ms) == 0) continue;
    if (strcmp(id, "start_delay_ms") == 0 && snd_config_get_integer(entry, &start_delay_ms) == 0) continue;
    if (strcmp(id, "resume") == 0 && (resume_works = snd_config_get_bool(entry)) >= 0) continue;
    if (strcmp(id, "open_error") == 0 && snd_config_get_integer(entry, &open_error) == 0) continue;
    SNDERR("paced_test: bad or unknown field %s", id);
    return -EINVAL;
  }
  if (open_error != 0) {
    SNDERR("paced_test: refusing to open, as told");
    return (int)-open_error;
  }
  if (stream != SND_PCM_STREAM_CAPTURE) return -EINVAL;

  paced_t* p = calloc(1, sizeof *p);
  if (p == NULL) return -ENOMEM;
  p->suspend_at_ms = suspend_at_ms;
  p->start_delay_ms = start_delay_ms;
  p->resume_works = resume_works;
  p->io.version = SND_PCM_IOPLUG_VERSION;
  p->io.name = "Paced test capture";
  p->io.callback = &paced_callbacks;
  p->io.private_data = p;
  p->io.poll_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  p->io.poll_events = POLLIN;
  if (p->io.poll_fd < 0) {
    free(p);
    return -errno;
  }
  int error = snd_pcm_ioplug_create(&p->io, name, stream, mode);
  if (error < 0) {
    close(p->io.poll_fd);
    free(p);
    return error;
  }
  error = set_constraints(p, max_buffer_bytes);
  if (error < 0) {
    snd_pcm_ioplug_delete(&p->io);
    return error;
  }
  *pcmp = p->io.pcm;
  return 0;
}

/* The version mark ALSA looks for beside the entry point: what
 * SND_PCM_PLUGIN_SYMBOL declares, without the stray semicolon that makes the
 * macro fail a pedantic build. */
char __snd_pcm_paced_test_open_dlsym_pcm_001;
