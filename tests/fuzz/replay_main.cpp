// Runs a fuzz target over stored inputs without libFuzzer, so that ordinary builds replay the
// corpus and the regressions: each file named and each file in each folder named (a missing
// folder is skipped). Fails when no input was found.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {
void replay(const fs::path& file) {
  // Named before it runs: a crash leaves it as the last line.
  std::fprintf(stderr, "%s\n", file.c_str());
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  // An exact-size copy on the heap, so that a read past the input is an ASan error.
  const auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), copy.get());
  LLVMFuzzerTestOneInput(copy.get(), bytes.size());
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    if (!fs::is_directory(argv[i], error)) {
      if (fs::exists(argv[i], error)) files.emplace_back(argv[i]);
      continue;
    }
    for (const fs::directory_entry& e : fs::directory_iterator(argv[i], error))
      if (e.is_regular_file() && e.path().filename().string()[0] != '.') files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) replay(f);
  std::printf("%zu inputs replayed\n", files.size());
  return files.empty() ? 1 : 0;
}
