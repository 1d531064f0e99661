#pragma once

namespace qm {

// Every stream restart frees and allocates again the frame-sized blocks of the decoder and
// renderer. glibc's adaptive mmap threshold would then move such blocks into its heap, which it
// keeps after they are freed, so a long evening of replugs grows the process. A fixed threshold
// serves them from mmap and gives them back. Call once, before any thread starts.
void returnLargeBlocksToTheSystem();

// Gives the pages of freed memory in every malloc arena back to the system. The threads of a
// stream each leave freed blocks in their own arena; after a teardown nobody may reuse them.
void returnFreedMemoryToTheSystem();

}  // namespace qm
