#include "lsrcheck.h"

int main(int argc, char **argv)
{
  return lsrcheck_main(argc, argv);
}
