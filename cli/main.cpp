// The command-line front end's entry point.
#include <cstdio>

int main() {
  std::fputs("pacewright-cli\n", stdout);
  return 0;
}
