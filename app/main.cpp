#include "app/startup.h"
#include "platform/gui/gui.h"

int main(int argc, char** argv) {
  platform::gui::Application gui(argc, argv);
  app::start();
  gui.run();
  return 0;
}
