// How much of a picture being read is there yet, for work that starts on its top rows while the
// rest is still being read.
#ifndef KARTOVEL_IMAGE_ROW_FEED_H_
#define KARTOVEL_IMAGE_ROW_FEED_H_

#include <algorithm>
#include <atomic>
#include <cstdint>

// The reader raises `ready` (rows from the top of the file, picture row 0 first) as it goes and
// sets it to `height` when it stops, whether it finished or `failed`.
struct RowFeed {
  std::int64_t height = 0;
  std::atomic<std::int64_t> ready{0};
  std::atomic<bool> failed{false};

  // Returns once the first `rows` rows are there (or the reader has stopped).
  void WaitFor(std::int64_t rows) const {
    rows = std::min(rows, height);
    for (std::int64_t now = ready.load(std::memory_order_acquire); now < rows;
         now = ready.load(std::memory_order_acquire)) {
      ready.wait(now, std::memory_order_acquire);
    }
  }
  // Called by the reader only.
  void Publish(std::int64_t rows) {
    ready.store(rows, std::memory_order_release);
    ready.notify_all();
  }
  void Stop(bool ok) {
    if (!ok) failed.store(true, std::memory_order_release);
    Publish(height);
  }
};

#endif  // KARTOVEL_IMAGE_ROW_FEED_H_
