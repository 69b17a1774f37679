#include <iostream>

#include "mediahost/cli.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  return mediahost::runCli(argc, argv, std::cout, std::cerr);
}
