// A private temporary directory for a test's peer configuration, logs and certificates;
// removed with everything in it when the object goes.
#pragma once

#include <string>

namespace peers {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  // path()/name
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Writes `text` to path()/name (mode 0600) and returns the full path.
  std::string Write(const std::string& name, const std::string& text) const;

 private:
  std::string path_;
};

// The whole of a text file; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);

}  // namespace peers
