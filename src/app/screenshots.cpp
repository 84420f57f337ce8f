// kartovel-screenshots: renders each wizard page with the sample Mollweide map loaded (its
// settings file fits the graticule), the export page after an export and again after a second
// one in another projection and format, as PNG files for the documentation.
// Usage: kartovel-screenshots MAP OUTPUT-FOLDER
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPixmap>
#include <cstdio>

#include "app/kartovel_wizard.h"
#include "app/output_projection.h"
#include "app/preview_frame.h"
#include "registry/projection_registry.h"

namespace {

bool Save(KartovelWizard& wizard, const QString& path) {
  QCoreApplication::processEvents();
  wizard.SourcePage().RenderPending();
  const bool saved = wizard.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fputs("usage: kartovel-screenshots MAP OUTPUT-FOLDER\n", stderr);
    return 2;
  }
  const QString folder = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
  QDir().mkpath(folder);
  GetProjectionRegistry().LoadAll(ExecutableDirectory());
  bool ok = true;
  {
    KartovelWizard wizard;
    // The path edit shows the file name as a user would have typed it beside the map.
    const QFileInfo map(QString::fromLocal8Bit(argv[1]));
    QDir::setCurrent(map.absolutePath());
    wizard.OpenPage().SetPath(map.fileName());
    wizard.show();
    wizard.OpenPage().PathEdit()->deselect();
    ok &= Save(wizard, folder + "/page-open.png");

    // The sample's settings file, loaded with the picture, has fitted the graticule.
    wizard.next();
    ok &= Save(wizard, folder + "/page-source.png");

    wizard.next();
    PageExport& exportPage = wizard.ExportPage();
    // A fresh file: the page would ask before replacing one it did not write itself.
    QFile::remove(folder + "/earth-equirectangular.png");
    exportPage.FileEdit()->setText(folder + "/earth-equirectangular.png");
    exportPage.WidthEdit()->setText(QStringLiteral("2048"));
    exportPage.Export();
    ok &= Save(wizard, folder + "/page-export.png");

    // Another setting, another export: Robinson, fitted to its picture, as a GeoTIFF.
    exportPage.Output().Choice()->setCurrentText(QStringLiteral("Robinson"));
    exportPage.FormatChoice()->setCurrentText(QStringLiteral("GeoTIFF"));
    QFile::remove(folder + "/earth-robinson.tif");
    exportPage.FileEdit()->setText(folder + "/earth-robinson.tif");
    exportPage.Export();
    ok &= Save(wizard, folder + "/page-export-projection.png");
  }
  GetProjectionRegistry().UnloadAll();
  return ok ? 0 : 1;
}
