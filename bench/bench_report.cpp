// The not-found report at scale: 10,000 names against 1,000,000 listed files, in both modes.
// Prints the median of several runs; the rows and names are made here, nothing is read from disk.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ui/report.hpp"

int main(int argc, char** argv) {
  using namespace quorvel;
  const std::size_t rows = argc > 1 ? std::stoul(argv[1]) : 1'000'000;
  const std::size_t names = argc > 2 ? std::stoul(argv[2]) : 10'000;

  std::mt19937 rng(42);
  std::vector<std::string> paths;
  paths.reserve(rows);
  for (std::size_t i = 0; i < rows; ++i)
    paths.push_back("/home/user/照片/" + std::to_string(2000 + i % 25) + "/album-" +
                    std::to_string(i % 997) + "/IMG_" + std::to_string(rng() % 100'000'000) +
                    ".jpg");
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < names; ++i)
    lines.push_back("IMG_" + std::to_string(rng() % 100'000'000) + (i % 2 ? ".jpg" : ""));

  for (auto mode : {search::Mode::Exact, search::Mode::Fuzzy}) {
    std::vector<double> times;
    std::size_t bytes = 0;
    for (int run = 0; run < 5; ++run) {
      const auto t0 = std::chrono::steady_clock::now();
      ui::NotFound report(lines, mode);
      for (const auto& p : paths) report.addRow(p);
      bytes = report.report().size();
      times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    std::printf("report %s: %zu names x %zu rows: median %.3f s (min %.3f, max %.3f), %zu bytes\n",
                mode == search::Mode::Exact ? "exact" : "fuzzy", names, rows, times[2], times[0],
                times[4], bytes);
  }
}
