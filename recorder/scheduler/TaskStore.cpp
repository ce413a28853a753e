#include "scheduler/TaskStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "platform/Archive.h"
#include "platform/AtomicFile.h"
#include "scheduler/LocalTime.h"

namespace tarvexa {

namespace fs = std::filesystem;

namespace {

// A Task.ini of hundreds of tasks is a few tens of kilobytes; anything past
// this is damage and is not read into memory.
constexpr uintmax_t kMaxFileBytes = 64u << 20;

// The fields in their stored order; F is ArchiveReader or WriteFields.
template <class F, class T>
bool Fields(F& f, T& t) {
  return f.Str(t.title) && f.U32(t.active) && f.U32(t.confirm) && f.U16(t.confirmSecs) &&
         f.U16(t.mode) && f.Str(t.outputFile) && f.U16(t.startYear) && f.U16(t.startMonth) &&
         f.U16(t.startDay) && f.U16(t.startHour) && f.U16(t.startMinute) && f.U16(t.startSecond) &&
         f.U32(t.runApp) && f.U32(t.openUrl) && f.Str(t.appCommand) && f.Str(t.url) &&
         f.U32(t.override) && f.U16(t.format) && f.U16(t.freqIndex) && f.U16(t.channels) &&
         f.U16(t.split) && f.U16(t.splitHour) && f.U16(t.splitMinute) && f.U16(t.splitSecond) &&
         f.U32(t.stopAfter) && f.U16(t.stopHour) && f.U16(t.stopMinute) && f.U16(t.stopSecond) &&
         f.U16(t.afterRecording);
}

// The writer's methods return void; this adapter lets Fields() drive both.
struct WriteFields {
  ArchiveWriter& w;
  bool U16(uint16_t v) { return w.U16(v), true; }
  bool U32(uint32_t v) { return w.U32(v), true; }
  bool Str(const std::string& s) { return w.Str(s), true; }
};

void Log(const LogSink& log, const std::string& text, int level) {
  if (log) log(text, level);
}

// Keeps a copy of a damaged file beside it, so that the next save (which
// writes only what could be read) loses nothing for good.
void KeepDamagedCopy(const std::string& path, const LogSink& log) {
  const std::string copy = path + ".damaged-" + FormatLocal(std::time(nullptr), "%Y%m%d-%H%M%S");
  std::error_code ec;
  if (fs::exists(copy, ec)) return;
  fs::copy_file(path, copy, ec);
  if (ec)
    Log(log, "The damaged file " + path + " could not be kept: " + ec.message(), 1);
  else
    Log(log, "The damaged file was kept as " + copy + ".", 1);
}

}  // namespace

std::string SerializeTasks(const std::vector<CTask>& tasks) {
  ArchiveWriter w;
  w.U32(static_cast<uint32_t>(tasks.size()));
  WriteFields f{w};
  for (const CTask& t : tasks) Fields(f, t);
  return std::move(w.Bytes());
}

TaskFileRead ParseTasks(std::string_view bytes) {
  TaskFileRead result;
  ArchiveReader r(bytes);
  uint32_t count = 0;
  if (!r.U32(count)) {
    result.ok = false;
    result.error = "the file is shorter than its task count";
    return result;
  }
  // The count is not trusted for memory: tasks are read one by one.
  for (uint32_t i = 0; i < count; ++i) {
    CTask t;
    if (!Fields(r, t)) {
      result.ok = false;
      result.error =
          "task " + std::to_string(i + 1) + " of " + std::to_string(count) + ": " + r.Error();
      return result;
    }
    result.tasks.push_back(std::move(t));
  }
  return result;
}

TaskFileRead LoadTaskFile(const std::string& path, const LogSink& log) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return {};

  TaskFileRead result;
  std::string bytes;
  if (status.type() != fs::file_type::regular) {
    result.ok = false;
    result.error = ec ? ec.message() : "it is not a file";
  } else {
    std::ifstream in(path, std::ios::binary);
    const uintmax_t size = fs::file_size(path, ec);
    if (!in || ec) {
      result.ok = false;
      result.error = std::strerror(errno);
    } else {
      bytes.resize(static_cast<size_t>(std::min(size, kMaxFileBytes)));
      in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      bytes.resize(static_cast<size_t>(in.gcount()));
      result = ParseTasks(bytes);
      if (result.ok && size > kMaxFileBytes) {
        result.ok = false;
        result.error = "the file is " + std::to_string(size) + " bytes long";
      }
    }
  }
  if (!result.ok) {
    Log(log, kTaskLoadErrorLog, 1);
    Log(log, path + ": " + result.error + ".", 1);
    if (status.type() == fs::file_type::regular) KeepDamagedCopy(path, log);
  }
  return result;
}

bool SaveTaskFile(const std::string& path, const std::vector<CTask>& tasks, const LogSink& log) {
  std::string error;
  if (WriteFileAtomically(path, SerializeTasks(tasks), &error)) return true;
  Log(log, kTaskSaveErrorLog, 1);
  Log(log, error, 1);
  return false;
}

}  // namespace tarvexa
