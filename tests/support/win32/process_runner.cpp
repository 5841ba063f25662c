// Child processes on Windows: CreateProcessA with inherited standard
// handles, WaitForSingleObject and GetExitCodeProcess, so the whole exit
// code is read (a Linux shell around Wine would see only its low 8 bits).
#include "tests/support/process_runner.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace padflash::testing {
namespace {

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream raw;
  raw << in.rdbuf();
  const std::string bytes = raw.str();
  std::string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text.push_back(bytes[i]);
  }
  return text;
}

// One word of a command line as the C runtime splits it again: quoted
// when it holds blanks or quotes (or is empty), backslashes doubled only
// in front of a quote.
std::string Quote(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(2 * backslashes, '\\');
  quoted.push_back('"');
  return quoted;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// This process's environment with the changes, as a block of
// "NAME=value\0" entries sorted by name without regard to case.
std::string EnvironmentBlock(const std::vector<std::string>& changes) {
  std::map<std::string, std::string> entries;  // upper-case name -> entry
  char* block = GetEnvironmentStringsA();
  for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
    const std::string text = entry;
    const size_t equals = text.find('=', 1);  // "=C:=C:\..." names start with '='
    if (equals != std::string::npos) entries[Upper(text.substr(0, equals))] = text;
  }
  FreeEnvironmentStringsA(block);
  for (const std::string& change : changes) {
    if (change[0] == '-') {
      entries.erase(Upper(change.substr(1)));
    } else {
      entries[Upper(change.substr(0, change.find('=')))] = change;
    }
  }
  std::string result;
  for (const auto& [name, entry] : entries) result += entry + '\0';
  result += '\0';
  return result;
}

HANDLE Inheritable(const std::filesystem::path& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.string().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

struct ChildProcess::Platform {
  PROCESS_INFORMATION process{};
};

ChildProcess::ChildProcess(const std::vector<std::string>& args,
                           const std::filesystem::path& folder,
                           const std::vector<std::string>& environment)
    : platform_(std::make_unique<Platform>()) {
  static int serial = 0;
  ++serial;
  outPath_ = folder / ("process" + std::to_string(serial) + ".out");
  errPath_ = folder / ("process" + std::to_string(serial) + ".err");
  std::string commandLine = Quote(NativePath(args[0]));
  for (size_t i = 1; i < args.size(); ++i) commandLine += " " + Quote(args[i]);
  std::string block = EnvironmentBlock(environment);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = Inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
  startup.hStdOutput = Inheritable(outPath_, GENERIC_WRITE, CREATE_ALWAYS);
  startup.hStdError = Inheritable(errPath_, GENERIC_WRITE, CREATE_ALWAYS);
  // A batch file (the padflash-sim.cmd launcher) runs in the command
  // interpreter; CreateProcessA starts it so from its name.
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, block.data(),
                      folder.string().c_str(), &startup, &platform_->process)) {
    platform_->process = PROCESS_INFORMATION{};
  }
  for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
}

ChildProcess::~ChildProcess() {
  if (platform_->process.hProcess == nullptr) return;
  TerminateProcess(platform_->process.hProcess, 1);
  WaitForSingleObject(platform_->process.hProcess, INFINITE);
  CloseHandle(platform_->process.hThread);
  CloseHandle(platform_->process.hProcess);
}

bool ChildProcess::started() const {
  return platform_->process.hProcess != nullptr;
}

ProcessOutcome ChildProcess::Wait(std::chrono::seconds limit) {
  ProcessOutcome outcome;
  PROCESS_INFORMATION& p = platform_->process;
  if (p.hProcess == nullptr) return outcome;
  const DWORD waitMs = static_cast<DWORD>(std::chrono::milliseconds(limit).count());
  DWORD code = 0;
  if (WaitForSingleObject(p.hProcess, waitMs) == WAIT_OBJECT_0 &&
      GetExitCodeProcess(p.hProcess, &code)) {
    outcome.status = code;
  } else {
    TerminateProcess(p.hProcess, 1);
    WaitForSingleObject(p.hProcess, INFINITE);
  }
  CloseHandle(p.hThread);
  CloseHandle(p.hProcess);
  p = PROCESS_INFORMATION{};
  outcome.out = ReadText(outPath_);
  outcome.err = ReadText(errPath_);
  return outcome;
}

void UseLockFolder(const std::filesystem::path&) {}

}  // namespace padflash::testing
