// Verilo: checks one program for a newer release and downloads it.
#include <QApplication>

#include "wizard/config.h"
#include "wizard/form1.h"

int main(int argc, char** argv) {
  // The switches are taken as given, before Qt removes the options it knows.
  for (int i = 1; i < argc; ++i) verilo::CommandLine.emplace_back(argv[i]);
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  QApplication::setApplicationName("Verilo");
  verilo::TForm1 form;  // its creation runs the configuration and the first steps
  return app.exec();
}
