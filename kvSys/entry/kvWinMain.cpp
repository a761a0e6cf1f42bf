// The kit's entry point: start-up, the application, shutdown.
#include "kvKIT.h"

int WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  kvFramework.instance = instance;
  if (!kvSystemInit()) return 0;
  kvMain();
  kvSystemExit();
  return 0;
}
