#include <cstdio>

#include "CliRunner.h"

int main(int argc, char** argv) {
  return linkward::RunCli(argc, argv, stdout, stderr);
}
