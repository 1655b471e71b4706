// Runs every test in a child process of its own: a process keeps one progress
// window for good and reads some settings once, so tests must not share one.
// With --gtest_filter (as the children get it) the tests run in this process.
// A child that only skipped its test says so with its exit code, so that the
// summary counts skipped tests apart from passed ones.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kChildFlag[] = "--one-test-child";
constexpr DWORD kSkippedExitCode = 77;

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

DWORD RunChild(const std::string& testName) {
  std::wstring commandLine = L"\"" + OwnPath() + L"\" --one-test-child --gtest_brief=1 --gtest_filter=";
  commandLine.append(testName.begin(), testName.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return GetLastError() | 0x10000000u;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const bool child = argc > 1 && std::strcmp(argv[1], kChildFlag) == 0;
  if (GTEST_FLAG_GET(filter) != "*") {
    const int result = RUN_ALL_TESTS();
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    if (child && result == 0 && unit.skipped_test_count() > 0 && unit.successful_test_count() == 0) {
      return static_cast<int>(kSkippedExitCode);
    }
    return result;
  }

  std::vector<std::string> names;
  const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
  for (int s = 0; s < unit.total_test_suite_count(); ++s) {
    const testing::TestSuite& suite = *unit.GetTestSuite(s);
    for (int t = 0; t < suite.total_test_count(); ++t) {
      names.push_back(std::string(suite.name()) + "." + suite.GetTestInfo(t)->name());
    }
  }
  int passed = 0;
  int skipped = 0;
  std::vector<std::string> failed;
  for (const std::string& name : names) {
    std::fflush(stdout);
    const DWORD code = RunChild(name);
    if (code == 0) {
      ++passed;
    } else if (code == kSkippedExitCode) {
      ++skipped;
    } else {
      failed.push_back(name);
      std::printf("!! %s failed (exit code 0x%08lx)\n", name.c_str(), static_cast<unsigned long>(code));
    }
  }
  for (const std::string& name : failed) std::printf("FAILED: %s\n", name.c_str());
  std::printf("%d passed, %d failed, %d skipped\n", passed, static_cast<int>(failed.size()), skipped);
  return failed.empty() ? 0 : 1;
}
