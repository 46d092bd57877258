#include <cstdio>

int main() {
  std::fputs("tovex-cli: not built yet\n", stderr);
  return 2;
}
