// A second program start for the single-instance test: tries once to become
// the primary instance of the program named by its argument, and says on
// standard output what it became ("primary" or "secondary").
//
//   single_instance_child APP_NAME
#include <QtCore/QCoreApplication>

#include <cstdio>

#include "platform/desktop/SingleInstance.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: single_instance_child APP_NAME\n");
    return 2;
  }
  tarvexa::SingleInstance instance;
  std::printf("%s\n",
              instance.TryBecomePrimary(QString::fromLocal8Bit(argv[1])) ? "primary" : "secondary");
  return 0;
}
