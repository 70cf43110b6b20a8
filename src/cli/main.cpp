#include <cstdio>

int main() {
  std::fputs("linkward-cli: not built yet\n", stderr);
  return 2;
}
