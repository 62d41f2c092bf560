#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

// One QApplication for every test of the executable, on Qt's offscreen platform unless the environment
// asks for another.
namespace {

class QtEnvironment final : public testing::Environment {
  public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        application = std::make_unique<QApplication>(argumentCount, arguments);
    }
    void TearDown() override { application.reset(); }

  private:
    char name[8] = "qvtest";
    char* arguments[2] = {name, nullptr};
    int argumentCount = 1;
    std::unique_ptr<QApplication> application;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
