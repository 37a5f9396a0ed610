// Shared pieces of the unit tests: temporary folders, file contents, DOS
// paths, and a fixture that gives each test fresh logs and a fresh registry.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "driver/driver.h"
#include "log/log.h"
#include "platform/posix/simulation.h"

// A folder below $TMPDIR (or /tmp), removed with its contents afterwards.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &path() const { return path_; }
    std::string File(const std::string &name) const { return path_ + "/" + name; }
    // The folder as the program sees it: Z:\...\ with a final backslash.
    std::string Dos() const;

  private:
    std::string path_;
};

std::string DosPath(const std::string &unixPath);
std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &bytes);
bool FileExists(const std::string &path);

// Creates a key and every missing level above it, as the program does, and
// closes it; the result of RegCreateKeyExA.
LSTATUS PutKey(HKEY root, const std::string &path, DWORD *disposition = nullptr);
// Creates the key and sets one value of `count` bytes (all of them by
// default); the result of the first call that failed.
LSTATUS PutValue(HKEY root, const std::string &path, const char *name, DWORD type,
                 const std::string &bytes, size_t count = std::string::npos);

// Fresh run state, log state and registry for every test; the logs of a
// step test are opened in a temporary folder that plays the program folder.
class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens both logs in the program folder, as a run with /LOG does.
    ::testing::AssertionResult OpenLogs();
    // Closes the logs (with an empty final message) and returns their contents
    // as written after the header, with CR LF turned back into "\n".
    std::string ProgressLines();
    std::string ScriptLines();
    void CloseLogs();

    std::string StringValue(HKEY root, const std::string &key, const std::string &name);
    bool HasValue(HKEY root, const std::string &key, const std::string &name);

    TempFolder folder;
    bool logsClosed = false;
};

// Counts the occurrences of needle in text.
int Count(const std::string &text, const std::string &needle);
