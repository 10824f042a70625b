// Preloaded into orvix-capture by its tests: a filesystem that cannot lock,
// as NFS without its lock service, where flock fails with ENOLCK.
#include <cerrno>

extern "C" int flock(int, int) {
  errno = ENOLCK;
  return -1;
}
