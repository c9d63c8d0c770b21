#include <cstdio>

int main() {
  std::fputs("usage: pelvar-cli COMMAND\n", stderr);
  return 2;
}
