// szdd_expand: expands an SZDD file with the updater's own expander, from
// standard input to standard output, for the build machine's checks of the
// resources that updater.exe carries.
#include <cstdio>

#include "payload/portable/szdd_stdio.h"

int main(int argc, char**) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: szdd_expand < IN > OUT\n");
    return 2;
  }
  szdd::FileSource source(stdin);
  szdd::FileSink sink(stdout);
  const szdd::ExpandStatus status = szdd::Expand(source, sink);
  if (std::fflush(stdout) != 0 || status != szdd::ExpandStatus::kOk) {
    std::fprintf(stderr, "szdd_expand: %s\n",
                 status != szdd::ExpandStatus::kOk ? szdd::Describe(status) : "cannot write the output");
    return 1;
  }
  return 0;
}
