// A second process for the single-instance tests:
//   zfw_instance_probe <directory> <name> start   claims the instance; a second start sends
//                                                 1002 to the first and exits 0; a first
//                                                 start exits 3
//   zfw_instance_probe <directory> <name> hold    claims the instance, prints "first" and
//                                                 holds it until stdin closes
#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "platform/gui/desktop/single_instance.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <directory> <name> start|hold\n", argv[0]);
    return 2;
  }
  QCoreApplication app(argc, argv);
  zfw::LocalSingleInstance instance(argv[1]);
  const auto claim = instance.claim(argv[2], nullptr);
  if (std::strcmp(argv[3], "hold") == 0) {
    if (claim != zfw::ISingleInstance::Claim::First) return 4;
    std::printf("first\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
  }
  switch (claim) {
    case zfw::ISingleInstance::Claim::Second:
      return instance.sendToFirst(1002) ? 0 : 5;
    case zfw::ISingleInstance::Claim::First:
      return 3;
    default:
      return 6;
  }
}
