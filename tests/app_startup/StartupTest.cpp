#include <string>
#include <vector>

#include "AppTestFixture.h"
#include "app/CVornDFUApp.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"

namespace vorn::testing {
namespace {

std::vector<std::string>* journal = nullptr;

void cleanup_routine() { journal->push_back("cleanup"); }

// Records what start-up asks of the window layer, and what the options were when the dialog ran.
class ScriptedWindows : public IAppWindows {
 public:
  explicit ScriptedWindows(int result) : result_(result) {}
  void Initialise() override { journal->push_back("initialise"); }
  int RunDialog() override {
    journal->push_back("dialog");
    log_at_dialog = options->log;
    return result_;
  }
  AppOptions* options = nullptr;
  bool log_at_dialog = false;

 private:
  int result_;
};

class StartupTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    dovod::Vs2003SingletonThreadCleanup::reset_for_testing();
    journal = &journal_;
  }
  void TearDown() override {
    // The guard's state must not outlive the test: a finished guard would end the test program
    // when the log thread is joined at its end.
    dovod::Vs2003SingletonThreadCleanup::reset_for_testing();
    journal = nullptr;
    AppTest::TearDown();
  }
  std::vector<std::string> journal_;
};

TEST_F(StartupTest, OptionsBeforeTheDialogAndCleanUpAfterIt) {
  dovod::Vs2003SingletonThreadCleanup::register_cleanup(cleanup_routine);
  AppOptions options;
  ScriptedWindows windows(1);
  windows.options = &options;
  CVornDFUApp app(windows, options);
  EXPECT_FALSE(app.InitInstance({L"/LOG", L"/FORCEDIR=x"}));
  EXPECT_EQ(journal_, (std::vector<std::string>{"initialise", "dialog", "cleanup"}));
  EXPECT_TRUE(windows.log_at_dialog);
  EXPECT_TRUE(options.force);
  EXPECT_FALSE(logged(L"Warning: dialog creation failed, so application is terminating unexpectedly.\n"));
}

TEST_F(StartupTest, DialogThatWasNotCreatedIsLogged) {
  AppOptions options;
  ScriptedWindows windows(IAppWindows::kDialogNotCreated);
  windows.options = &options;
  CVornDFUApp app(windows, options);
  EXPECT_FALSE(app.InitInstance({}));
  EXPECT_EQ(messages(), (std::vector<std::wstring>{
                            L"Warning: dialog creation failed, so application is terminating unexpectedly.\n",
                            L"Warning: if you are using MFC controls on the dialog, you cannot #define "
                            L"_AFX_NO_MFC_CONTROLS_IN_DIALOGS.\n"}));
}

}  // namespace
}  // namespace vorn::testing
