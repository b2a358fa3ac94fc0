#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

#include "analysis/Analysis.h"
#include "base/Translate.h"
#include "cli/Cli.h"
#include "formats/Registry.h"
#include "picture/Errors.h"
#include "picture/FractalImage.h"

namespace pennacrow::cli {

namespace {

namespace fs = std::filesystem;

struct TOutcome {
  bool Done = false;
  bool Failed = false;
  std::string Text;
};

bool RegisteredPicture(const fs::path& path) {
  std::string extension = path.extension().string();
  if (extension.empty()) return false;
  return FileFormats().ClassForExtension(extension.substr(1)) != nullptr;
}

// The files named, with the pictures under each directory when recursing, in name order.
std::vector<std::string> CollectFiles(const std::vector<std::string>& names, bool recursive) {
  std::vector<std::string> files;
  for (const std::string& name : names) {
    std::error_code error;
    if (!recursive || !fs::is_directory(name, error)) {
      files.push_back(name);
      continue;
    }
    std::vector<std::string> found;
    for (auto it = fs::recursive_directory_iterator(name, error); !error && it != fs::end(it);
         it.increment(error)) {
      if (it->is_regular_file(error) && RegisteredPicture(it->path())) {
        found.push_back(it->path().string());
      }
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

TOutcome AnalyzeFile(const std::string& file, bool json, bool detailed) {
  try {
    if (fs::is_directory(file)) throw EPennacrowError(Tr("是目录（用 -r 分析其中的图片）"));
    TFractalImage picture(FileFormats());
    // As every command reads a picture: "-" is standard input, and the content decides.
    LoadPicture(picture, file);
    const analysis::TAnalysisReport report = analysis::AnalyzeBitmap(picture.PictureBitmap());
    if (json) return {true, false, analysis::FormatReportJson(report, file) + "\n"};
    return {true, false,
            detailed ? analysis::FormatReport(report, ShownName(file))
                     : analysis::FormatReportLine(report, ShownName(file)) + "\n"};
  } catch (const std::exception& e) {
    return {true, true,
            (json ? analysis::FormatFailureJson(file, e.what())
                  : "pennacrow-cli: " + analysis::FormatFailureLine(file, e.what())) +
                "\n"};
  }
}

}  // namespace

// The detectability report of each picture: one report for one file, one line (or one JSON
// object) per file for several, files spread over threads and printed in the order given.
int CmdAnalyze(const std::vector<std::string>& words) {
  const TArgs args(words, {"--jobs", "-j"}, {"--json", "-r", "--recursive"});
  if (args.Positional().empty()) throw EUsage(Tr("需要至少一个图片文件"));
  const bool recursive = args.Has("-r") || args.Has("--recursive");
  const bool json = args.Has("--json");
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  const std::string jobsText = args.Has("--jobs") ? args.Value("--jobs") : args.Value("-j");
  if (!jobsText.empty()) {
    try {
      std::size_t used = 0;
      const int n = std::stoi(jobsText, &used);
      if (used != jobsText.size() || n < 1 || n > 1024) throw EUsage("");
      jobs = static_cast<unsigned>(n);
    } catch (const std::exception&) {
      throw EUsage(Tr("--jobs 需要 1 到 1024 之间的整数"));
    }
  }

  const std::vector<std::string> files = CollectFiles(args.Positional(), recursive);
  if (files.empty()) throw EPennacrowError(Tr("没有找到可分析的图片"));
  const bool detailed = files.size() == 1 && !recursive;
  std::vector<TOutcome> outcomes(files.size());
  std::atomic<std::size_t> next{0};
  std::mutex printing;
  std::size_t printed = 0;
  bool failed = false;
  auto work = [&] {
    for (std::size_t i = next++; i < files.size(); i = next++) {
      TOutcome outcome = AnalyzeFile(files[i], json, detailed);
      const std::lock_guard lock(printing);
      outcomes[i] = std::move(outcome);
      // Print every finished report whose predecessors are out, so the order is the input's.
      for (; printed < files.size() && outcomes[printed].Done; ++printed) {
        // A damaged file's message goes with the errors, except in JSON, whose readers want
        // one object per file.
        (outcomes[printed].Failed && !json ? std::cerr : std::cout)
            << outcomes[printed].Text << std::flush;
        failed = failed || outcomes[printed].Failed;
        outcomes[printed].Text.clear();
      }
    }
  };
  jobs = std::min<unsigned>(jobs, static_cast<unsigned>(std::max<std::size_t>(1, files.size())));
  std::vector<std::jthread> workers;
  for (unsigned j = 1; j < jobs; ++j) workers.emplace_back(work);
  work();
  workers.clear();  // joins
  return failed ? kExitFailure : kExitSuccess;
}

}  // namespace pennacrow::cli
