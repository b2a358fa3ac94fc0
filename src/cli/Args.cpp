#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <iterator>

#include "cli/Cli.h"
#include "picture/Graphic.h"
#include "text/TextFile.h"

namespace pennacrow::cli {

TArgs::TArgs(const std::vector<std::string>& words, const std::vector<std::string>& valueOptions,
             const std::vector<std::string>& flagOptions) {
  auto contains = [](const std::vector<std::string>& list, const std::string& w) {
    return std::find(list.begin(), list.end(), w) != list.end();
  };
  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (optionsEnded || w.size() < 2 || w[0] != '-') {
      FPositional.push_back(w);
      continue;
    }
    if (w == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = w;
    std::string value;
    bool inlineValue = false;
    if (const auto eq = w.find('='); w.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = w.substr(0, eq);
      value = w.substr(eq + 1);
      inlineValue = true;
    }
    if (contains(valueOptions, name)) {
      if (!inlineValue) {
        if (i + 1 >= words.size()) throw EUsage("选项 " + name + " 需要一个值");
        value = words[++i];
      }
      FValues[name] = value;
    } else if (contains(flagOptions, name) && !inlineValue) {
      FValues[name] = "";
    } else {
      throw EUsage("未知选项 " + w);
    }
  }
}

std::string TArgs::Value(const std::string& option, const std::string& fallback) const {
  const auto it = FValues.find(option);
  return it == FValues.end() ? fallback : it->second;
}

void TArgs::ExpectPositional(std::size_t n) const {
  if (FPositional.size() != n) {
    throw EUsage("需要 " + std::to_string(n) + " 个参数，得到 " +
                 std::to_string(FPositional.size()));
  }
}

std::string ReadAllStdin() {
  return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

std::string ReadTextStdin() {
  std::string text;
  char buffer[1 << 16];
  while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(std::cin.gcount()));
    if (text.size() > kMaxTextFileBytes) {
      throw std::runtime_error("标准输入的文本太长：最多只能读取 " +
                               std::to_string(kMaxTextFileBytes) + " 字节");
    }
  }
  return text;
}

void WriteAllStdout(const std::string& bytes) {
  std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  std::cout.flush();
}

void WriteOutputFile(const std::string& fileName, const std::string& bytes, bool privateText) {
  TWriteOptions options;
  if (privateText) options.NewFileMode = 0600;
  WriteFileAtomically(fileName,
                      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                      options);
}

namespace {

void RemoveTempFilesAndDie(int signal) {
  RemoveTempFiles();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

void InstallSignalCleanup() {
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction action {};
    action.sa_handler = RemoveTempFilesAndDie;
    sigemptyset(&action.sa_mask);
    // An interrupt that was ignored when we started (a background job) stays ignored.
    struct sigaction previous {};
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace pennacrow::cli
