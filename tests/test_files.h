// Files the tests read whole, and the demo's data copied into a folder of a
// test's own, since a run writes kvKIT.vid beside its data.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kvtest {

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// `dir` emptied, then holding a copy of the data in `data` without the
// kvKIT.vid an earlier run left there.
inline std::filesystem::path freshDataCopy(const std::filesystem::path& data,
                                           const std::filesystem::path& dir) {
  namespace fs = std::filesystem;
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const auto& entry : fs::directory_iterator(data))
    if (entry.path().filename() != "kvKIT.vid")
      fs::copy(entry.path(), dir / entry.path().filename());
  return dir;
}

}  // namespace kvtest
