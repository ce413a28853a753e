#include "soundserver/PulseSource.h"

#include <pulse/channelmap.h>
#include <pulse/error.h>
#include <pulse/stream.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/Text.h"
#include "soundserver/PulseLoop.h"

namespace tarvexa {

using namespace std::chrono_literals;
using pulse::Clock;

namespace {

// How long a read waits for a block before it lets the capture thread look
// at its flags, and how long connecting may take.
constexpr auto kReadSlice = 250ms;
constexpr auto kConnectTime = 3s;

}  // namespace

struct PulseSource::Impl {
  Options opt;
  Notice notice;  // lines for the event log
  pulse::Loop loop;
  pa_stream* stream = nullptr;
  OpenOptions open;
  bool opened = false;
  size_t frameBytes = 4;

  // Audio taken off the connection and not yet read: a ring of bytes.
  // Guarded by the loop's lock.
  std::vector<uint8_t> ring;
  size_t head = 0;
  size_t fill = 0;
  bool lost = false;  // audio was lost since the last block read

  std::atomic<int64_t> overflows{0};
  std::atomic<bool> waiting{false};
  Clock::time_point goneAt;
  int64_t silentBlocks = 0;  // blocks of silence handed out since then
  Clock::time_point nextTry;

  explicit Impl(Options o) : opt(std::move(o)) {}

  std::string Called() const {
    if (!opt.description.empty()) return opt.description;
    return opt.source.empty() ? std::string("default source") : opt.source;
  }

  void Notify(const std::string& text, int level) const {
    if (notice) notice(text, level);
  }

  bool StreamDead() const {
    return !stream || !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) || !loop.ContextReady();
  }

  void Take(const uint8_t* data, size_t n);
  void TakeBlock(int16_t* dest, size_t bytes);
  // Ends the stream, and the connection when the server has gone; forgets
  // the audio of the ring.
  void Drop() {
    DropStream();
    if (!loop.ContextReady()) loop.DropContext();
    head = fill = 0;
    lost = false;
  }
  bool ConnectStream(Clock::time_point deadline, int* code, std::string* error);
  void DropStream();

  static void OnState(pa_stream*, void* self) { static_cast<Impl*>(self)->loop.Signal(); }
  static void OnRead(pa_stream* s, size_t, void* self);
};

// Appends what the server delivered; nullptr is a hole in the stream (audio
// the server lost), kept as silence. When the ring is full the oldest audio
// goes, as a sound card's buffer overruns.
void PulseSource::Impl::Take(const uint8_t* data, size_t n) {
  const size_t cap = ring.size();
  if (!data) lost = true;
  if (n >= cap) {
    if (fill > 0 || n > cap) lost = true;
    head = 0;
    fill = cap;
    if (data)
      std::memcpy(ring.data(), data + (n - cap), cap);
    else
      std::fill(ring.begin(), ring.end(), uint8_t{0});
    return;
  }
  if (fill + n > cap) {
    size_t drop = fill + n - cap;
    drop = std::min(fill, (drop + frameBytes - 1) / frameBytes * frameBytes);
    head = (head + drop) % cap;
    fill -= drop;
    lost = true;
  }
  size_t at = (head + fill) % cap;
  size_t done = 0;
  while (done < n) {
    const size_t part = std::min(n - done, cap - at);
    if (data)
      std::memcpy(ring.data() + at, data + done, part);
    else
      std::memset(ring.data() + at, 0, part);
    done += part;
    at = (at + part) % cap;
  }
  fill += n;
}

// Moves the oldest `bytes` of the ring out; a loss since the last block
// counts one overflow.
void PulseSource::Impl::TakeBlock(int16_t* dest, size_t bytes) {
  auto* out = reinterpret_cast<uint8_t*>(dest);
  const size_t first = std::min(bytes, ring.size() - head);
  std::memcpy(out, ring.data() + head, first);
  std::memcpy(out + first, ring.data(), bytes - first);
  head = (head + bytes) % ring.size();
  fill -= bytes;
  if (lost) {
    overflows.fetch_add(1);
    lost = false;
  }
}

void PulseSource::Impl::OnRead(pa_stream* s, size_t, void* self) {
  auto* impl = static_cast<Impl*>(self);
  for (;;) {
    const void* data = nullptr;
    size_t n = 0;
    if (pa_stream_peek(s, &data, &n) < 0 || n == 0) break;  // error, or nothing left
    impl->Take(static_cast<const uint8_t*>(data), n);
    pa_stream_drop(s);
  }
  impl->loop.Signal();
}

bool PulseSource::Impl::ConnectStream(Clock::time_point deadline, int* code, std::string* error) {
  DropStream();
  auto fail = [&](int err) {
    if (code) *code = err;
    if (error)
      *error = Printf("%s (sound-server source \"%s\")", pa_strerror(err), Called().c_str());
    DropStream();
    return false;
  };
  pa_sample_spec wanted{};
  wanted.format = PA_SAMPLE_S16LE;
  wanted.rate = static_cast<uint32_t>(open.rate);
  wanted.channels = static_cast<uint8_t>(open.channels);
  if (open.rate <= 0 || open.channels <= 0 || !pa_sample_spec_valid(&wanted))
    return fail(PA_ERR_INVALID);
  pa_channel_map map;
  pa_channel_map_init_extend(&map, wanted.channels, PA_CHANNEL_MAP_DEFAULT);

  stream = pa_stream_new(loop.context(), "Recording", &wanted, &map);
  if (!stream) return fail(loop.ErrorCode());
  pa_stream_set_state_callback(stream, &Impl::OnState, this);
  pa_stream_set_read_callback(stream, &Impl::OnRead, this);

  // The server hands the audio over in blocks of the recording's size.
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(-1);
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(std::max(1, open.framesPerBlock) * frameBytes);
  // A chosen source is never exchanged for another: when it goes, the
  // stream ends and we say so. The default source follows the default.
  pa_stream_flags_t flags = PA_STREAM_ADJUST_LATENCY;
  if (!opt.source.empty()) flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(stream, opt.source.empty() ? nullptr : opt.source.c_str(), &attr,
                               flags) < 0)
    return fail(loop.ErrorCode());
  const bool settled = loop.WaitUntil(
      [this] {
        const pa_stream_state_t s = pa_stream_get_state(stream);
        return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
      },
      deadline);
  if (pa_stream_get_state(stream) == PA_STREAM_READY) return true;
  return fail(settled ? loop.ErrorCode() : PA_ERR_TIMEOUT);
}

void PulseSource::Impl::DropStream() {
  if (!stream) return;
  pa_stream_set_state_callback(stream, nullptr, nullptr);
  pa_stream_set_read_callback(stream, nullptr, nullptr);
  pa_stream_disconnect(stream);
  pa_stream_unref(stream);
  stream = nullptr;
}

// ---------------------------------------------------------------- public

PulseSource::PulseSource(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

PulseSource::~PulseSource() { Close(); }

const std::string& PulseSource::source() const { return impl_->opt.source; }
bool PulseSource::Waiting() const { return impl_->waiting.load(); }
int64_t PulseSource::Overflows() const { return impl_->overflows.load(); }
void PulseSource::SetNotices(Notice notice) { impl_->notice = std::move(notice); }

bool PulseSource::Open(const OpenOptions& options, int* errorCode, std::string* error) {
  Close();
  Impl& m = *impl_;
  if (errorCode) *errorCode = PA_OK;
  if (error) error->clear();
  m.overflows = 0;
  m.waiting = false;
  m.open = options;
  m.frameBytes = 2 * static_cast<size_t>(std::max(1, options.channels));
  const double seconds = std::max(0.0, m.opt.bufferSeconds);
  const size_t frames = std::max(static_cast<size_t>(seconds * std::max(1, options.rate)),
                                 2 * static_cast<size_t>(std::max(1, options.framesPerBlock)));
  m.ring.assign(frames * m.frameBytes, 0);
  m.head = m.fill = 0;
  m.lost = false;

  if (!m.loop.Start(error)) {
    if (errorCode) *errorCode = PA_ERR_INTERNAL;
    return false;
  }
  bool ok = false;
  {
    pulse::Loop::Locked lock(m.loop);
    const auto deadline = Clock::now() + kConnectTime;
    int code = PA_OK;
    std::string text;
    if (!m.loop.Connect(deadline, &code, &text)) {
      if (errorCode) *errorCode = code;
      if (error) *error = Printf("%s (sound server)", text.c_str());
    } else {
      ok = m.ConnectStream(deadline, errorCode, error);
    }
  }
  if (!ok) {
    m.loop.Stop();
    return false;
  }
  m.opened = true;
  return true;
}

InputSource::ReadResult PulseSource::Read(int16_t* dest, int frames, int* got, std::string* error) {
  Impl& m = *impl_;
  *got = 0;
  if (!m.opened) {
    if (error) *error = "The input stream is not open.";
    return ReadResult::Error;
  }
  if (frames <= 0) return ReadResult::Ok;
  const size_t need = static_cast<size_t>(frames) * m.frameBytes;
  if (need > m.ring.size()) {
    if (error) *error = "A block larger than the input buffer was asked for.";
    return ReadResult::Error;
  }
  const auto deadline = Clock::now() + kReadSlice;
  {
    pulse::Loop::Locked lock(m.loop);
    if (!m.waiting) {
      m.loop.WaitUntil([&] { return m.fill >= need || m.StreamDead(); }, deadline);
      if (m.fill >= need) {
        m.TakeBlock(dest, need);
        *got = frames;
        return ReadResult::Ok;
      }
      if (!m.StreamDead()) return ReadResult::Ok;  // nothing yet

      // The source (or the whole server) has gone. What is left of the
      // ring is less than a block.
      const int why = m.loop.ErrorCode();
      m.Drop();
      m.waiting = true;
      m.goneAt = Clock::now();
      m.silentBlocks = 0;
      m.nextTry = m.goneAt + std::chrono::milliseconds(m.opt.retryMs);
      m.Notify(Printf("The input source \"%s\" has gone away (%s); the recording waits for it "
                      "to come back.",
                      m.Called().c_str(),
                      why == PA_ERR_KILLED ? "removed from the sound server" : pa_strerror(why)),
               2);
      return ReadResult::Ok;
    }
    // Waiting. The source counts as back with its first block of audio:
    // until then the silence goes on (a source that has just come back may
    // take a moment to deliver).
    if (m.stream && !m.StreamDead() && m.fill >= need) {
      m.waiting = false;
      m.Notify(Printf("The input source \"%s\" is back after %.1f s; the recording goes on.",
                      m.Called().c_str(),
                      std::chrono::duration<double>(Clock::now() - m.goneAt).count()),
               1);
      m.TakeBlock(dest, need);
      *got = frames;
      return ReadResult::Ok;
    }
    if (m.stream && m.StreamDead()) m.Drop();  // gone again before it delivered
    if (!m.stream && Clock::now() >= m.nextTry) {
      const auto connectBy = Clock::now() + kConnectTime;
      if (!(m.loop.ContextReady() || m.loop.Connect(connectBy, nullptr, nullptr)) ||
          !m.ConnectStream(connectBy, nullptr, nullptr))
        m.Drop();
      m.nextTry = Clock::now() + std::chrono::milliseconds(m.opt.retryMs);
    }
  }
  // While the source is gone the clock goes on: a block of silence for each
  // block of time, so that the file keeps to the clock and a stop or split
  // after a set time comes on time.
  const auto blockTime = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(static_cast<double>(frames) / m.open.rate));
  const auto due = m.goneAt + blockTime * (m.silentBlocks + 1);
  if (due <= Clock::now()) {
    std::memset(dest, 0, need);
    ++m.silentBlocks;
    *got = frames;
    return ReadResult::Ok;
  }
  std::this_thread::sleep_until(std::min({deadline, m.nextTry, due}));
  return ReadResult::Ok;
}

void PulseSource::Close() {
  Impl& m = *impl_;
  if (m.loop.Running()) {
    {
      pulse::Loop::Locked lock(m.loop);
      m.DropStream();
    }
    m.loop.Stop();
  }
  m.opened = false;
  m.waiting = false;
}

}  // namespace tarvexa
