#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

namespace testsupport {

// Path of a file in the assembled program folder of the build (read only for tests).
std::string DistPath(const std::string& relative);

// Path of a file in the source tree (golden files, fixtures).
std::string SourcePath(const std::string& relative);

std::string ReadFile(const std::string& path);
// Runs a shell command and gives what it printed; *status (when given) gets the wait status.
std::string CommandOutput(const std::string& command, int* status = nullptr);
void WriteFile(const std::string& path, const std::string& content);
bool Exists(const std::string& path);
void CopyFile(const std::string& from, const std::string& to);

// Waits until `condition` holds, checking every 10 ms, at most `timeout`.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Runs the process under another locale (as the toolkit does with the user's) until destroyed.
// Active() is false when the locale is not installed (scripts/setup generates the ones the
// tests name).
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name);
  ~ScopedLocale();
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  bool Active() const { return m_active; }

 private:
  std::string m_previous;
  bool m_active = false;
};

// Locales whose formats differ from C: a comma decimal point, Chinese day and month names.
inline constexpr const char* kForeignLocales[] = {"de_DE.UTF-8", "zh_CN.UTF-8"};

// A free TCP port on 127.0.0.1 (bound and released; good enough for tests run serially
// per address).
int FreePort();

}  // namespace testsupport

// Every test that touches files runs in its own temporary program folder: the fixture creates
// it with the usual sub-folders, makes it the program folder and the current directory, and
// removes it afterwards.
class ProgramFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Absolute path of a file in the temporary program folder ("\" accepted).
  std::string At(const std::string& relative) const;
  void Write(const std::string& relative, const std::string& content) const;
  std::string Read(const std::string& relative) const;
  // Copies a file of the build's program folder (a program, a library, shipped data) in.
  void CopyFromDist(const std::string& relative) const;

  std::string m_folder;

 private:
  std::string m_oldCwd;
};
