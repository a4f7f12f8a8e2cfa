// Our engine on one root: the first N names of a names file, exact or fuzzy, search-only, into a
// sink that only counts (or writes the rows to a file, for comparing with other tools).
// Prints the seconds from start to finish and the row count.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

#include "search/search.hpp"

namespace {

using quorvel::search::LiveOptions;

class Options : public LiveOptions {
 public:
  explicit Options(bool fuzzy) : fuzzy_(fuzzy) {}
  bool fuzzy() const override { return fuzzy_; }
  bool searchOnly() const override { return true; }
  std::string saveFolder() const override { return {}; }

 private:
  bool fuzzy_;
};

class CountingSink : public quorvel::search::Sink {
 public:
  explicit CountingSink(std::FILE* out) : out_(out) {}
  void row(std::string_view path, std::uint32_t) override {
    rows.fetch_add(1, std::memory_order_relaxed);
    if (out_) {
      std::lock_guard lock(m_);
      std::fwrite(path.data(), 1, path.size(), out_);
      std::fputc('\n', out_);
    }
  }
  void progress(std::string) override {}
  void finished(std::uint64_t) override {}
  std::atomic<std::uint64_t> rows{0};

 private:
  std::FILE* out_;
  std::mutex m_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: bench_search ROOT NAMES_FILE N exact|fuzzy [ROWS_OUT]\n");
    return 2;
  }
  quorvel::search::Request req;
  req.roots.push_back(argv[1]);
  std::ifstream in(argv[2], std::ios::binary);
  const long n = std::atol(argv[3]);
  for (std::string line; static_cast<long>(req.names.size()) < n && std::getline(in, line);)
    req.names.push_back(line);
  const bool fuzzy = std::string(argv[4]) == "fuzzy";
  std::FILE* out = argc > 5 ? std::fopen(argv[5], "wb") : nullptr;
  auto sink = std::make_shared<CountingSink>(out);
  const auto t0 = std::chrono::steady_clock::now();
  {
    quorvel::search::Job job(std::move(req), std::make_shared<Options>(fuzzy), sink);
    job.start();
    job.join();
  }
  const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
  if (out) std::fclose(out);
  std::printf("%.4f %llu\n", dt.count(), static_cast<unsigned long long>(sink->rows.load()));
  return 0;
}
