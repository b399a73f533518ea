#pragma once
// A fresh folder for one test, removed with everything in it at the end.

#include <string>
#include <string_view>

namespace tavro::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, without a trailing slash.
  const std::string& Path() const { return path_; }
  // Path() + "/" + relative.
  std::string PathOf(std::string_view relative) const;
  // Writes a file (creating its folders); false on failure.
  bool Write(std::string_view relative, std::string_view content) const;
  // The file's bytes; empty when it cannot be read.
  std::string Read(std::string_view relative) const;
  bool Exists(std::string_view relative) const;
  bool MakeFolder(std::string_view relative) const;

 private:
  std::string path_;
};

}  // namespace tavro::test
