// The progress line kartovel-convert shows on a terminal.
#ifndef KARTOVEL_CLI_PROGRESS_LINE_H_
#define KARTOVEL_CLI_PROGRESS_LINE_H_

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/reproject.h"

// A "NN%" line on stderr, refreshed by a thread of its own while the rows are worked on (`rows`
// of them unless the job sets rowsTotal), then "writing" until the file is saved.
class ProgressLine {
 public:
  ProgressLine(RasterProgress* progress, long long rows) {
    if (!isatty(STDERR_FILENO)) return;
    thread_ = std::thread([this, progress, rows] {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!done_) {
        const long long done = progress->rowsDone.load();
        const long long total = progress->rowsTotal > 0 ? progress->rowsTotal.load() : rows;
        if (done < total) {
          std::fprintf(stderr, "\rkartovel-convert: %3lld%%", done * 100 / total);
        } else {
          std::fprintf(stderr, "\rkartovel-convert: writing");
        }
        wake_.wait_for(lock, std::chrono::milliseconds(200));
      }
      std::fprintf(stderr, "\r\033[K");
    });
  }
  ~ProgressLine() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

#endif  // KARTOVEL_CLI_PROGRESS_LINE_H_
