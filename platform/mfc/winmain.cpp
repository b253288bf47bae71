// The program's entry point: the framework runs the program's application object.
#include "platform/mfc/app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show) {
  return AfxWinMain(instance, command_line, show);
}
