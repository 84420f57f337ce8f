// The two file dialogs: what the user sees in the type list and which files each type shows.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>

#include "app/app_fixture.h"
#include "app/wizard_prompts.h"

namespace {

// The toolkit's own dialog (not the desktop's), so that its type list and file filter can be read.
struct Dialog {
  explicit Dialog(void (*setUp)(QFileDialog&)) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    setUp(dialog);
  }
  QStringList Shown() {
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    QStringList texts;
    for (int i = 0; types && i < types->count(); ++i) texts << types->itemText(i);
    return texts;
  }
  // The names in `dir` that the dialog lists under its type `index`.
  QStringList Listed(const QDir& dir, int index) {
    dialog.selectNameFilter(dialog.nameFilters().at(index));
    auto* model = dialog.findChild<QFileSystemModel*>();
    if (!model) return {};
    QDir filtered(dir);
    filtered.setNameFilters(model->nameFilters());
    return filtered.entryList(QDir::Files, QDir::Name);
  }
  QFileDialog dialog;
};

TEST(FileDialogs, OpenShowsTheImageTypesAndDefaultsToBmp) {
  Dialog open(SetUpOpenDialog);
  EXPECT_EQ(
      open.Shown(),
      (QStringList{"All Image Files (*.bmp;*.png;*.jpg;*.gif)", "Windows Bitmap Files (*.bmp)",
                   "Portable Network Graphics Files (*.png)", "JPEG Image Files (*.jpg)",
                   "Graphics Interface Format Files (*.gif*)", "All Files (*.*)"}));
  EXPECT_EQ(open.dialog.defaultSuffix(), "bmp");
  EXPECT_EQ(open.dialog.fileMode(), QFileDialog::ExistingFile);

  QTemporaryDir dir;
  for (const char* name : {"a.bmp", "b.png", "c.jpg", "d.gif", "e.txt", "README"}) {
    QFile file(dir.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  const struct {
    int type;
    QStringList listed;
  } cases[] = {
      {0, {"a.bmp", "b.png", "c.jpg", "d.gif"}},
      {1, {"a.bmp"}},
      {4, {"d.gif"}},
      {5, {"README", "a.bmp", "b.png", "c.jpg", "d.gif", "e.txt"}},
  };
  for (const auto& c : cases) EXPECT_EQ(open.Listed(dir.path(), c.type), c.listed) << c.type;
}

TEST(FileDialogs, SaveShowsPngFirstAndAsksBeforeReplacing) {
  Dialog save(SetUpSaveDialog);
  EXPECT_EQ(save.Shown(), (QStringList{"Portable Network Graphics Files (*.png)",
                                       "Windows Bitmap Files (*.bmp)", "GeoTIFF Files (*.tif)",
                                       "All Files (*.*)"}));
  EXPECT_EQ(save.dialog.defaultSuffix(), "png");
  EXPECT_EQ(save.dialog.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_FALSE(save.dialog.testOption(QFileDialog::DontConfirmOverwrite));
}

}  // namespace
