#include "platform/memory.h"

namespace tovex {

void ReturnFreeMemory() {}

}  // namespace tovex
