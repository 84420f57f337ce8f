// The offscreen toolkit and registry for every wizard test, and the wizard fixture.
#include "app/app_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

#include "registry/projection_registry.h"

namespace {

class ToolkitEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    application_ = std::make_unique<QApplication>(argc_, argv_);
    // Recent files and the last folder go to a scratch folder, not the user's settings.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir_.path());
    GetProjectionRegistry().LoadAll(ExecutableDirectory());
  }
  void TearDown() override {
    GetProjectionRegistry().UnloadAll();
    application_.reset();
  }

 private:
  int argc_ = 1;
  char name_[16] = "app_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
  QTemporaryDir settingsDir_;
};

[[maybe_unused]] ::testing::Environment* const kToolkit =
    ::testing::AddGlobalTestEnvironment(new ToolkitEnvironment);

}  // namespace

QString WriteGradient(const QTemporaryDir& dir, const QString& name, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(
          x, y,
          qRgb(x * 255 / std::max(1, width - 1), y * 255 / std::max(1, height - 1), (x + y) % 256));
    }
  }
  const QString path = dir.filePath(name);
  EXPECT_TRUE(image.save(path)) << path.toStdString();
  return path;
}

void WizardTest::SetUp() {
  ASSERT_TRUE(dir_.isValid());
  wizard_ = std::make_unique<KartovelWizard>(&prompts_);
  wizard_->show();
  QCoreApplication::processEvents();
}

void WizardTest::TearDown() { wizard_.reset(); }

void WizardTest::Click(QWizard::WizardButton which) {
  QTest::mouseClick(wizard_->button(which), Qt::LeftButton);
  QCoreApplication::processEvents();
}

void WizardTest::TypeInto(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  if (text.isEmpty()) {
    QTest::keyClick(edit, Qt::Key_Delete);
  } else {
    QTest::keyClicks(edit, text);
  }
}

void WizardTest::OpenAndNext(const QString& path) {
  TypeInto(wizard_->OpenPage().PathEdit(), path);
  Click(QWizard::NextButton);
  ASSERT_EQ(wizard_->currentId(), KartovelWizard::kSourcePage);
}
