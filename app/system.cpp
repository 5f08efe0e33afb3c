#include "app/system.h"

#include <cstdlib>

namespace {

Platform* gPlatform = nullptr;

}  // namespace

void SetSystem(Platform* platform) {
  gPlatform = platform;
}

Platform& System() {
  if (gPlatform == nullptr) std::abort();  // a core call before start-up or after the end
  return *gPlatform;
}
