// CKartovelApp: registry in, wizard, registry out.
#include "app/kartovel_app.h"

#include <QIcon>
#include <QStringList>
#include <memory>

#include "app/kartovel_wizard.h"
#include "registry/projection_registry.h"

CKartovelApp::CKartovelApp(int& argc, char** argv) : application_(argc, argv) {
  QApplication::setApplicationName(QStringLiteral("Kartovel"));
  // Recent files and the last folder: ~/.config/Kartovel/Kartovel.conf.
  QApplication::setOrganizationName(QStringLiteral("Kartovel"));
  // Desktops match the window to the installed desktop entry and show the same icon.
  QApplication::setDesktopFileName(QStringLiteral("kartovel"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("applications-science")));
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1) imagePath_ = arguments.at(1);
}

int CKartovelApp::InitInstance() {
  ProjectionRegistry& registry = GetProjectionRegistry();
  registry.LoadAll(ExecutableDirectory());
  // The wizard's projections select their type at construction, so the registry comes first; it
  // is emptied before the wizard (and the objects its projections hold) goes away.
  auto wizard = std::make_unique<KartovelWizard>();
  if (!imagePath_.isEmpty()) wizard->OpenPage().SetPath(imagePath_);
  wizard->exec();
  registry.UnloadAll();
  wizard.reset();
  return 0;
}
