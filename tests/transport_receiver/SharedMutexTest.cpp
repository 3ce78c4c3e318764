// Another program speaking to the same receiver takes turns with this library through the named
// mutex "CorvTandem": neither the receiver's register commands nor a paired device's requests are
// written while another process holds it.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "ReceiverFixture.h"
#include "platform/NamedMutex.h"
#include "platform/Process.h"
#include "protocol/Device.h"
#include "protocol/DeviceTuning.h"

namespace dovod::testing {
namespace {

using namespace std::chrono_literals;

// The limit a test allows for something that should happen at once; never reached when it works.
constexpr auto kGenerous = 10s;

bool wait_for_file(const std::filesystem::path& path) {
  const auto deadline = std::chrono::steady_clock::now() + kGenerous;
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

void set_env(const char* key, const std::string& value) {
#ifdef _WIN32
  _putenv_s(key, value.c_str());
#else
  setenv(key, value.c_str(), 1);
#endif
}

// The other program: this test program run with only this case. Holds the receiver's mutex until
// the parent says so. Skipped in ordinary runs.
TEST(TandemMutex, DISABLED_OtherProgram) {
  const char* folder = std::getenv("DOVOD_TANDEM_TEST_DIR");
  if (!folder) GTEST_SKIP();
  const std::filesystem::path dir(folder);
  platform::NamedMutex mutex;
  ASSERT_TRUE(mutex.init("CorvTandem"));
  ASSERT_TRUE(mutex.lock());
  std::ofstream(dir / "held") << "1";
  wait_for_file(dir / "release");
  mutex.unlock();
}

class TandemMutexTest : public ReceiverTest {
 protected:
  void SetUp() override {
    ReceiverTest::SetUp();
    std::random_device random;
    folder_ = std::filesystem::temp_directory_path() /
              ("dovod_tandem_test_" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    ReceiverTest::TearDown();
  }

  // Runs the other program, which holds the mutex until release() is called.
  std::thread hold_elsewhere() {
    std::filesystem::remove(folder_ / "held");
    std::filesystem::remove(folder_ / "release");
    set_env("DOVOD_TANDEM_TEST_DIR", folder_.string());
    std::string command = "\"" + platform::Process::executable_path() +
                          "\" --gtest_filter=TandemMutex.DISABLED_OtherProgram --gtest_also_run_disabled_tests";
#ifdef _WIN32
    command = "\"" + command + "\"";  // cmd strips one pair of quotes around the whole line
#endif
    command += " > " + (folder_ / "output.txt").string();
    return std::thread([command] { EXPECT_EQ(std::system(command.c_str()), 0); });
  }
  void release() { std::ofstream(folder_ / "release") << "1"; }

  std::filesystem::path folder_;
};

TEST_F(TandemMutexTest, CommandsWaitWhileAnotherProcessHoldsTheReceiversMutex) {
  firmware->Pair(0, kKeyboard);
  make_bus();
  listen();
  auto tandem = bus->devices().at(0);
  auto keyboard = std::make_shared<Device>(manager(), tandem);
  keyboard->initDevice(manager());

  struct Case {
    const char* name;
    std::function<void()> command;
    Byte index;
  };
  const Case cases[] = {
      {"receiver register read", [&] { bus->read_slot_values(); }, 0xFF},
      {"paired device request", [&] { keyboard->retry_load_feature_root(); }, 0x01},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = hw->written().size();
    std::thread other = hold_elsewhere();
    ASSERT_TRUE(wait_for_file(folder_ / "held"));
    std::thread commander(c.command);
    // However long the other program holds the mutex, nothing may reach the receiver meanwhile.
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(hw->written().size(), before);
    release();
    commander.join();
    other.join();
    const auto sent = hw->written();
    ASSERT_GT(sent.size(), before);
    EXPECT_EQ(sent[before][1], c.index);
  }
}

// A program that keeps the mutex past any single request is stuck: rather than hang behind it, or
// talk over it, a command gives up with NotAvailable and writes nothing.
TEST_F(TandemMutexTest, CommandsGiveUpWithoutWritingWhenAnotherProcessKeepsTheMutex) {
  firmware->Pair(0, kKeyboard);
  make_bus();
  listen();
  auto tandem = bus->devices().at(0);
  auto keyboard = std::make_shared<Device>(manager(), tandem);
  keyboard->initDevice(manager());
  DeviceTuning tuning;
  tuning.named_mutex_wait_ms = 20;
  set_device_tuning(tuning);

  const std::size_t before = hw->written().size();
  std::thread other = hold_elsewhere();
  ASSERT_TRUE(wait_for_file(folder_ / "held"));
  clear_last_error();
  EXPECT_FALSE(keyboard->retry_load_feature_root());
  EXPECT_EQ(hw->written().size(), before);
  release();
  other.join();
  set_device_tuning(DeviceTuning{});
}

}  // namespace
}  // namespace dovod::testing
