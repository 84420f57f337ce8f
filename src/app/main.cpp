// kartovel: the wizard that turns a world map in any projection into an equirectangular picture.
// Usage: kartovel [IMAGE]
#include "app/kartovel_app.h"

int main(int argc, char** argv) {
  CKartovelApp app(argc, argv);
  return app.InitInstance();
}
