// A picture read on a thread of its own, so that work on its top rows starts while the rest is
// still being read.
#ifndef KARTOVEL_IMAGE_BACKGROUND_LOAD_H_
#define KARTOVEL_IMAGE_BACKGROUND_LOAD_H_

#include <atomic>
#include <string>
#include <thread>

#include "image/row_feed.h"
#include "image/video_buffer.h"

class BackgroundLoad {
 public:
  BackgroundLoad() = default;
  BackgroundLoad(const BackgroundLoad&) = delete;
  BackgroundLoad& operator=(const BackgroundLoad&) = delete;
  // Stops a read still running and waits for it.
  ~BackgroundLoad();

  // Opens and checks `path` and sets up the picture at its size. PNGs that the direct decoder
  // reads (8-bit RGB or RGBA, not interlaced: most maps) then go on in the background, their rows
  // raising Rows() as they come; every other picture is read whole here. 0, or the results and
  // reason of VideoBuffer::Load.
  int Start(const std::string& path, std::string* reason);
  // The picture: its size is known after Start, its pixels as Rows() says.
  const VideoBuffer& Picture() const { return picture_; }
  const RowFeed& Rows() const { return feed_; }
  // Waits for the read to end: 0, or -1 with the reason (as VideoBuffer::Load).
  int Finish(std::string* reason);

 private:
  VideoBuffer picture_;
  RowFeed feed_;
  std::thread reader_;
  std::atomic<bool> stop_{false};
  int result_ = 0;
  std::string reason_;
};

#endif  // KARTOVEL_IMAGE_BACKGROUND_LOAD_H_
