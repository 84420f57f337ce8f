#include "image/background_load.h"

#include <cstdio>
#include <memory>
#include <system_error>

#include "image/image_files.h"

BackgroundLoad::~BackgroundLoad() {
  stop_.store(true);
  if (reader_.joinable()) reader_.join();
}

int BackgroundLoad::Start(const std::string& path, std::string* reason) {
  auto file = std::make_unique<ImageFiles::OpenedFile>();
  if (const int opened = file->Open(path, reason)) return opened;
  // The contents choose the decoder, as VideoBuffer::Load does.
  ImageFiles::PngHeader direct;
  int result = 0;
  if (file->IsPng()) {
    result = ImageFiles::StartPng(file->Stream(), &picture_, reason, &direct);
    if (result == 0 && direct.width == 0) {
      result = ImageFiles::ReadPng(file->Stream(), &picture_, reason, nullptr);
    }
  } else {
    result = ImageFiles::DecodePicture(file->Stream(), &picture_, reason);
  }
  if (result != 0 || direct.width == 0) {
    feed_.height = picture_.height;
    feed_.Stop(result == 0);
    return result;
  }
  feed_.height = direct.height;
  auto read = [this, direct](std::FILE* stream) {
    result_ = ImageFiles::DecodePngRows(stream, direct, &picture_, &reason_, &stop_, &feed_);
    feed_.Stop(result_ == 0);
  };
  const std::shared_ptr<ImageFiles::OpenedFile> opened = std::move(file);
  try {
    reader_ = std::thread([read, opened] { read(opened->Stream()); });
  } catch (const std::system_error&) {
    // No thread to be had: read it all here.
    read(opened->Stream());
    if (result_ != 0 && reason) *reason = reason_;
    return result_;
  }
  return 0;
}

int BackgroundLoad::Finish(std::string* reason) {
  if (reader_.joinable()) reader_.join();
  if (result_ != 0 && reason) *reason = reason_;
  return result_;
}
