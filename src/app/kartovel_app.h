// CKartovelApp: start-up and shut-down around one modal wizard.
#ifndef KARTOVEL_APP_KARTOVEL_APP_H_
#define KARTOVEL_APP_KARTOVEL_APP_H_

#include <QApplication>
#include <QString>

class CKartovelApp {
 public:
  // `argc` and `argv` must outlive the object (the toolkit keeps them). After the toolkit's own
  // options, an optional image path is taken from them.
  CKartovelApp(int& argc, char** argv);

  // Loads the registry from the executable's directory, runs the wizard modally (with the image
  // path in its path edit, if one was given), empties the registry. Returns the exit status, 0.
  int InitInstance();

 private:
  QApplication application_;
  QString imagePath_;
};

#endif  // KARTOVEL_APP_KARTOVEL_APP_H_
