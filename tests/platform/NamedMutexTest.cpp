#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "PlatformFixture.h"
#include "dovod/LastError.h"
#include "platform/NamedMutex.h"
#include "platform/Process.h"

namespace dovod::testing {
namespace {

using platform::NamedMutex;
using namespace std::chrono_literals;

// The limit a test allows for something that should happen at once; never reached when it works.
constexpr auto kGenerous = 5000ms;

std::string unique_name() {
  std::random_device random;
  return "dovod_test_" + std::to_string(random()) + std::to_string(random());
}

// True when another thread could take the mutex right now.
bool free_for_others(const std::string& name) {
  bool got = false;
  std::thread([&] {
    NamedMutex other;
    ASSERT_TRUE(other.init(name));
    got = other.lock_for(0ms);
    if (got) other.unlock();
  }).join();
  return got;
}

void set_env(const char* key, const std::string& value) {
#ifdef _WIN32
  _putenv_s(key, value.c_str());
#else
  setenv(key, value.c_str(), 1);
#endif
}

bool wait_for_file(const std::filesystem::path& path) {
  auto deadline = std::chrono::steady_clock::now() + kGenerous;
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(NamedMutex, ThreadsTakeTurnsWhetherSharingOneObjectOrEachHavingTheirOwn) {
  for (bool shared_object : {false, true}) {
    SCOPED_TRACE(shared_object ? "one object" : "one object per thread");
    std::string name = unique_name();
    NamedMutex common;
    ASSERT_TRUE(common.init(name));
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    int counter = 0;  // unguarded but for the named mutex: the race detector sees any overlap
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&] {
        NamedMutex own;
        ASSERT_TRUE(own.init(name));
        NamedMutex& m = shared_object ? common : own;
        for (int i = 0; i < 200; ++i) {
          ASSERT_TRUE(m.lock());
          if (inside.fetch_add(1) != 0) overlapped = true;
          ++counter;
          inside.fetch_sub(1);
          ASSERT_TRUE(m.unlock());
        }
      });
    }
    for (auto& t : threads) t.join();
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(counter, 800);
  }
}

TEST(NamedMutex, OwnerMayLockAgainAndReleasesOnlyWithTheLastUnlock) {
  std::string name = unique_name();
  NamedMutex first, second;
  ASSERT_TRUE(first.init(name));
  ASSERT_TRUE(second.init(name));
  ASSERT_TRUE(first.lock());
  ASSERT_TRUE(first.lock_for(0ms));
  ASSERT_TRUE(second.lock_for(0ms));  // another object of the same name on the owning thread
  EXPECT_FALSE(free_for_others(name));
  ASSERT_TRUE(first.unlock());
  ASSERT_TRUE(second.unlock());
  EXPECT_FALSE(free_for_others(name));
  ASSERT_TRUE(first.unlock());
  EXPECT_TRUE(free_for_others(name));
  EXPECT_FALSE(first.unlock());
}

TEST(NamedMutex, TimesOutWhileAnotherThreadHoldsItAndRefusesForeignUnlocks) {
  std::string name = unique_name();
  NamedMutex holder;
  ASSERT_TRUE(holder.init(name));
  ASSERT_TRUE(holder.lock());
  std::thread([&] {
    NamedMutex waiter;
    ASSERT_TRUE(waiter.init(name));
    clear_last_error();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(waiter.lock_for(20ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
    EXPECT_EQ(last_error().code, ErrorCode::NotAvailable);
    EXPECT_FALSE(holder.unlock());  // held, but by the other thread
    EXPECT_FALSE(waiter.unlock());
  }).join();
  EXPECT_TRUE(holder.unlock());
}

TEST(NamedMutex, WaiterGetsItWhenTheHolderUnlocksOrIsDestroyed) {
  for (bool destroy : {false, true}) {
    std::string name = unique_name();
    auto holder = std::make_unique<NamedMutex>();
    ASSERT_TRUE(holder->init(name));
    ASSERT_TRUE(holder->lock());
    ASSERT_TRUE(holder->lock());
    std::atomic<bool> got{false};
    std::thread waiter([&] {
      NamedMutex m;
      ASSERT_TRUE(m.init(name));
      got = m.lock_for(kGenerous);
      if (got) m.unlock();
    });
    std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(got);
    if (destroy) {
      holder.reset();
    } else {
      holder->unlock();
      holder->unlock();
    }
    waiter.join();
    EXPECT_TRUE(got) << (destroy ? "destroyed" : "unlocked");
  }
}

TEST(NamedMutex, RefusesUseWithoutAUsableName) {
  NamedMutex never_named;
  EXPECT_FALSE(never_named.lock_for(0ms));
  EXPECT_FALSE(never_named.unlock());
  NamedMutex empty;
  EXPECT_FALSE(empty.init(""));
  NamedMutex twice;
  ASSERT_TRUE(twice.init(unique_name()));
  EXPECT_FALSE(twice.init(unique_name()));
}

// The other process of the cross-process test: this same program, run with only this case and
// told by the environment what to do. Skipped in ordinary runs.
TEST(NamedMutex, DISABLED_OtherProcess) {
  const char* name = std::getenv("DOVOD_MUTEX_TEST_NAME");
  const char* folder = std::getenv("DOVOD_MUTEX_TEST_DIR");
  const char* mode = std::getenv("DOVOD_MUTEX_TEST_MODE");
  if (!name || !folder || !mode) GTEST_SKIP();
  std::filesystem::path dir(folder);
  NamedMutex m;
  ASSERT_TRUE(m.init(name));
  if (std::string(mode) == "try") {
    std::ofstream(dir / "answer") << (m.lock_for(0ms) ? "got" : "busy");
    return;
  }
  // Hold it, tell the parent, and die holding it once the parent says so.
  ASSERT_TRUE(m.lock());
  std::ofstream(dir / "held") << "1";
  wait_for_file(dir / "release");
  std::_Exit(0);
}

class NamedMutexProcesses : public PlatformTest {
 protected:
  int run_other(const std::string& name, const char* mode) {
    set_env("DOVOD_MUTEX_TEST_NAME", name);
    set_env("DOVOD_MUTEX_TEST_DIR", folder_.string());
    set_env("DOVOD_MUTEX_TEST_MODE", mode);
    std::string command = "\"" + platform::Process::executable_path() +
                          "\" --gtest_filter=NamedMutex.DISABLED_OtherProcess --gtest_also_run_disabled_tests";
#ifdef _WIN32
    command = "\"" + command + "\"";  // cmd strips one pair of quotes around the whole line
#endif
    command += " > ";
    command += (folder_ / "output.txt").string();
    return std::system(command.c_str());
  }

  std::string answer() {
    std::ifstream in(folder_ / "answer");
    std::string text;
    in >> text;
    return text;
  }
};

TEST_F(NamedMutexProcesses, ProcessesTakeTurnsAndAHolderThatDiesReleasesIt) {
  std::string name = unique_name();
  NamedMutex here;
  ASSERT_TRUE(here.init(name));

  ASSERT_TRUE(here.lock());
  ASSERT_EQ(run_other(name, "try"), 0);
  EXPECT_EQ(answer(), "busy");
  ASSERT_TRUE(here.unlock());

  std::thread other([&] { run_other(name, "hold"); });
  ASSERT_TRUE(wait_for_file(folder_ / "held"));
  EXPECT_FALSE(here.lock_for(0ms));
  std::ofstream(folder_ / "release") << "1";
  EXPECT_TRUE(here.lock_for(kGenerous));
  other.join();
  EXPECT_TRUE(here.unlock());

  std::filesystem::remove(folder_ / "answer");
  ASSERT_EQ(run_other(name, "try"), 0);
  EXPECT_EQ(answer(), "got");
}

}  // namespace
}  // namespace dovod::testing
