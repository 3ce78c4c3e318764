// Another local user can neither set the tool's events, nor take their names from it, nor pass a
// socket of theirs off as the tool's.
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "OtherUser.h"
#include "StandInProcess.h"
#include "app/platform/NamedEvent.h"

namespace vorn::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Runs `attack` in a child process that has become the other user; its exit status.
int as_other_user(const std::function<int()>& attack) {
  pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setresgid(kOtherUid, kOtherUid, kOtherUid) != 0 ||
        setresuid(kOtherUid, kOtherUid, kOtherUid) != 0)
      _exit(100);
    _exit(attack());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Sends one datagram to a socket file; 0 when it was sent.
int send_to(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const char signal = 1;
  return sendto(fd, &signal, 1, 0, reinterpret_cast<sockaddr*>(&address), sizeof address) == 1 ? 0 : 1;
}

class NamedEventSecurity : public ::testing::Test {
 protected:
  void SetUp() override {
    runtime_ = fs::temp_directory_path() / UniqueName(L"vorn_events", L"");
    fs::create_directories(runtime_);
    fs::permissions(runtime_, fs::perms::owner_all);
    old_runtime_ = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    name_ = UniqueName(L"Global\\Shutdown", L"");
  }
  void TearDown() override {
    if (old_runtime_.empty()) unsetenv("XDG_RUNTIME_DIR");
    else setenv("XDG_RUNTIME_DIR", old_runtime_.c_str(), 1);
    fs::remove_all(runtime_);
  }
  std::string socket_path() const {
    for (const auto& entry : fs::directory_iterator(runtime_))
      if (entry.is_socket()) return entry.path().string();
    return {};
  }

  fs::path runtime_;
  std::string old_runtime_;
  std::wstring name_;
};

TEST_F(NamedEventSecurity, AnotherUserCannotSetTheEvent) {
  VORN_REQUIRE_OTHER_USER();
  platform::NamedEvent event;
  ASSERT_TRUE(event.create(name_));
  const std::string path = socket_path();
  ASSERT_FALSE(path.empty());
  // The folder keeps the other user out; opened up, the socket still counts none of their datagrams.
  EXPECT_NE(as_other_user([&] { return send_to(path); }), 0);
  fs::permissions(runtime_, fs::perms::all);
  fs::permissions(path, fs::perms::all);
  EXPECT_EQ(as_other_user([&] { return send_to(path); }), 0);
  EXPECT_FALSE(event.wait(50ms));

  platform::NamedEvent setter;
  fs::permissions(runtime_, fs::perms::owner_all);
  ASSERT_TRUE(setter.open_existing(name_));
  EXPECT_TRUE(setter.set());
  EXPECT_TRUE(event.wait(5s));
}

TEST_F(NamedEventSecurity, AnotherUserCannotTakeTheName) {
  VORN_REQUIRE_OTHER_USER();
  // The name in the machine-wide abstract namespace, where events used to live, held by another user.
  const std::string text = "Global\\" + std::string(name_.begin() + 7, name_.end());
  int squatter_ready[2];
  ASSERT_EQ(pipe(squatter_ready), 0);
  pid_t squatter = fork();
  if (squatter == 0) {
    if (setgroups(0, nullptr) != 0 || setresgid(kOtherUid, kOtherUid, kOtherUid) != 0 ||
        setresuid(kOtherUid, kOtherUid, kOtherUid) != 0)
      _exit(100);
    int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, text.data(), text.size());
    bind(fd, reinterpret_cast<sockaddr*>(&address), static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + text.size()));
    (void)!write(squatter_ready[1], "x", 1);
    pause();
    _exit(0);
  }
  char ready;
  ASSERT_EQ(read(squatter_ready[0], &ready, 1), 1);

  platform::NamedEvent event;
  EXPECT_TRUE(event.create(name_));
  platform::NamedEvent setter;
  EXPECT_TRUE(setter.open_existing(name_));
  EXPECT_TRUE(setter.set());
  EXPECT_TRUE(event.wait(5s));
  kill(squatter, SIGKILL);
  waitpid(squatter, nullptr, 0);
  close(squatter_ready[0]);
  close(squatter_ready[1]);
}

TEST_F(NamedEventSecurity, ASocketOfAnotherUserIsNotBelievedToBeTheEvent) {
  VORN_REQUIRE_OTHER_USER();
  platform::NamedEvent planted;
  ASSERT_TRUE(planted.create(name_));
  const std::string path = socket_path();
  ASSERT_EQ(lchown(path.c_str(), kOtherUid, kOtherUid), 0);
  platform::NamedEvent opener;
  EXPECT_FALSE(opener.open_existing(name_));
}

}  // namespace
}  // namespace vorn::testing
