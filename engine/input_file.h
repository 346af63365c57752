// The open input of a track: a file read once and closed by whoever holds it when it is let
// go, so that no path through the pipeline or the engine can leave it open.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace engine {

struct InputFileCloser {
  // The file was only read: a failing close loses nothing.
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Empty when nothing is open.
using InputFile = std::unique_ptr<std::FILE, InputFileCloser>;

// path opened for binary reading; empty when it cannot be opened.
inline InputFile openInputFile(const std::string& path) {
  return InputFile(std::fopen(path.c_str(), "rb"));
}

}  // namespace engine
