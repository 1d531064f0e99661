#include "QuillmereCore/ProcessMemory.h"

#include <malloc.h>

namespace qm {

void returnLargeBlocksToTheSystem() {
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}

void returnFreedMemoryToTheSystem() {
    malloc_trim(0);
}

}  // namespace qm
