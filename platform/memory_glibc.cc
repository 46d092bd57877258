#include <malloc.h>

#include "platform/memory.h"

namespace tovex {

void ReturnFreeMemory() { malloc_trim(0); }

}  // namespace tovex
