#include "cli/batch_run.h"

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "cli/batch_chunks.h"
#include "cli/failure.h"
#include "cli/output.h"

namespace cli {
namespace {

unsigned ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? count : 1;
}

// The input named by --batch, opened; closed at the end of the run.
class Input {
 public:
  explicit Input(const std::string& path) {
    if (path == "-") {
      fd_ = STDIN_FILENO;
      name_ = "standard input";
      return;
    }
    name_ = "'" + path + "'";
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) throw Failure("cannot read " + name_ + ": " + std::strerror(errno));
    owned_ = true;
  }
  ~Input() {
    if (owned_) close(fd_);
  }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  int fd() const { return fd_; }
  const std::string& name() const { return name_; }

 private:
  int fd_ = -1;
  bool owned_ = false;
  std::string name_;
};

// What goes out in input order: the header once k is known, each chunk's
// rows and notices, and the message that stops the run. Shared by the
// single-threaded run and the writer of the threaded one. Each chunk's
// rows go out as they are taken, in one write: the chunks are large
// enough, and the rows appear as soon as they are known.
class Emitter {
 public:
  explicit Emitter(const Options& options) : options_(options) {
    known_k_ = options.program == Program::kKestrin ? 4 : options.multinomial.proportions.size();
    if (known_k_ > 0) header_ = BatchHeader(ShapeOf(options, known_k_));
  }

  std::size_t known_k() const { return known_k_; }

  // Writes what a chunk came to; returns false when it stopped the run
  // (status() then says how).
  bool Take(const ChunkOutcome& outcome) {
    std::uint64_t stop_line = outcome.stop_line;
    int stop_status = outcome.stop_status;
    std::string stop_message = outcome.stop_message;
    bool rows_valid = true;
    if (outcome.first_data_line != 0 && (stop_line == 0 || outcome.first_data_line < stop_line)) {
      if (known_k_ == 0) {
        known_k_ = outcome.first_k;
        header_ = BatchHeader(ShapeOf(options_, known_k_));
      } else if (outcome.first_k != known_k_) {
        // The chunk was read without knowing the k of the lines before.
        rows_valid = false;
        stop_line = outcome.first_data_line;
        stop_status = 2;
        stop_message = "line " + std::to_string(stop_line) + ": " + std::to_string(outcome.first_k) +
                       (outcome.first_k == 1 ? " count" : " counts") + " given: the lines before have " +
                       std::to_string(known_k_);
      }
    }
    Write(header_);
    header_.clear();
    if (!outcome.notices.empty()) WriteAll(STDERR_FILENO, outcome.notices);
    if (rows_valid) Write(outcome.rows);
    if (stop_line != 0) {
      status_ = stop_status;
      message_ = stop_message;
      return false;
    }
    return true;
  }

  // The header, when no chunk has carried it out.
  void Finish() {
    Write(header_);
    header_.clear();
  }
  int status() const { return status_; }
  const std::string& message() const { return message_; }

 private:
  static void Write(std::string_view bytes) {
    if (!bytes.empty() && !WriteAll(STDOUT_FILENO, bytes)) ThrowCannotWrite("standard output", errno);
  }

  const Options& options_;
  std::string header_;  // not yet written
  std::size_t known_k_ = 0;
  int status_ = 0;
  std::string message_;
};

void Say(const Options& options, const std::string& line) {
  WriteAll(STDERR_FILENO, std::string(NameOf(options.program)) + ": " + line + "\n");
}

int RunAlone(const Options& options, ChunkReader& reader) {
  Emitter emitter(options);
  ChunkWorker worker(options);
  ChunkOutcome outcome;
  std::string chunk;
  for (;;) {
    try {
      if (!reader.Next(chunk)) break;
    } catch (const Failure& error) {
      // What was read before the failure goes out first.
      emitter.Finish();
      throw;
    }
    worker.Work(chunk, reader.first_line(), emitter.known_k(), outcome);
    if (!emitter.Take(outcome)) {
      Say(options, emitter.message());
      return emitter.status();
    }
  }
  emitter.Finish();
  return 0;
}

// The threaded run: this thread reads, `jobs` workers test, one writer
// writes, through a ring of slots that bounds what is in flight.
class Pipeline {
 public:
  Pipeline(const Options& options, unsigned jobs) : options_(options), slots_(2 * jobs + 2) {}

  int Run(ChunkReader& reader, unsigned jobs) {
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < jobs; ++i) workers.emplace_back([this] { WorkerLoop(); });
    std::thread writer([this] { WriterLoop(); });
    ReadLoop(reader);
    for (auto& worker : workers) worker.join();
    writer.join();
    if (!failure_.empty()) Say(options_, failure_);
    return status_;
  }

 private:
  enum class State : std::uint8_t { kFree, kQueued, kWorking, kDone };
  struct Slot {
    State state = State::kFree;
    std::string chunk;
    std::uint64_t first_line = 0;
    std::optional<std::string> read_failure;  // the input failed here
    ChunkOutcome outcome;
  };

  Slot& SlotOf(std::uint64_t index) { return slots_[index % slots_.size()]; }

  void ReadLoop(ChunkReader& reader) {
    for (std::uint64_t index = 0;; ++index) {
      Slot* slot;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || SlotOf(index).state == State::kFree; });
        if (stop_) break;
        slot = &SlotOf(index);
      }
      bool more = false;
      std::optional<std::string> failure;
      try {
        more = reader.Next(slot->chunk);
      } catch (const std::exception& error) {
        failure = error.what();
      }
      std::lock_guard lock(mutex_);
      if (failure) {
        // Written in its place, after every chunk before it.
        slot->read_failure = std::move(failure);
        slot->state = State::kDone;
        read_end_ = index + 1;
        break;
      }
      if (!more) {
        read_end_ = index;
        break;
      }
      slot->read_failure.reset();
      slot->first_line = reader.first_line();
      slot->state = State::kQueued;
      queue_.push_back(index);
      changed_.notify_all();
    }
    std::lock_guard lock(mutex_);
    reading_ = false;
    changed_.notify_all();
  }

  void WorkerLoop() {
    ChunkWorker worker(options_);
    for (;;) {
      std::uint64_t index;
      Slot* slot;
      std::size_t known_k;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || !queue_.empty() || !reading_; });
        if (stop_ || queue_.empty()) return;
        index = queue_.front();
        queue_.erase(queue_.begin());
        slot = &SlotOf(index);
        slot->state = State::kWorking;
        known_k = known_k_;
      }
      try {
        worker.Work(slot->chunk, slot->first_line, known_k, slot->outcome);
      } catch (const std::exception&) {  // out of memory for the rows
        slot->outcome.rows.clear();
        slot->outcome.stop_line = slot->first_line;
        slot->outcome.stop_status = 1;
        slot->outcome.stop_message = "out of memory";
      }
      std::lock_guard lock(mutex_);
      slot->state = State::kDone;
      changed_.notify_all();
    }
  }

  void WriterLoop() {
    std::optional<Emitter> emitter;
    try {
      emitter.emplace(options_);
      {
        std::lock_guard lock(mutex_);
        known_k_ = emitter->known_k();
      }
      for (std::uint64_t index = 0;; ++index) {
        Slot* slot;
        {
          std::unique_lock lock(mutex_);
          changed_.wait(lock, [&] { return SlotOf(index).state == State::kDone || (!reading_ && index >= read_end_); });
          if (SlotOf(index).state != State::kDone) break;
          slot = &SlotOf(index);
        }
        if (slot->read_failure) {
          emitter->Finish();
          Stop(1, *slot->read_failure);
          return;
        }
        const bool go_on = emitter->Take(slot->outcome);
        std::lock_guard lock(mutex_);
        known_k_ = emitter->known_k();
        slot->state = State::kFree;
        changed_.notify_all();
        if (!go_on) {
          stop_ = true;
          status_ = emitter->status();
          failure_ = emitter->message();
          return;
        }
      }
      emitter->Finish();
    } catch (const std::exception& error) {  // Failure to write, and the like
      Stop(1, error.what());
    }
  }

  void Stop(int status, std::string message) {
    std::lock_guard lock(mutex_);
    stop_ = true;
    status_ = status;
    failure_ = std::move(message);
    changed_.notify_all();
  }

  const Options& options_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::uint64_t> queue_;  // queued slots, oldest first
  std::size_t known_k_ = 0;
  bool reading_ = true;
  std::uint64_t read_end_ = 0;  // the index after the last chunk, once reading ends
  bool stop_ = false;
  int status_ = 0;
  std::string failure_;
};

}  // namespace

int RunBatch(const Options& options) {
  try {
    Input input(*options.batch);
    ChunkReader reader(input.fd(), input.name());
    const unsigned jobs = options.jobs == 0 ? ProcessorCount() : options.jobs;
    if (jobs == 1) return RunAlone(options, reader);
    Pipeline pipeline(options, jobs);
    return pipeline.Run(reader, jobs);
  } catch (const std::bad_alloc&) {
    Say(options, "out of memory");
  } catch (const std::exception& error) {  // Failure to read or write
    Say(options, error.what());
  }
  return 1;
}

}  // namespace cli
