// External sort of work files: chunks of at most kChunkRecords records are
// sorted in memory into numbered chunk files "N.s", which are then merged
// four at a time, in passes, until one sorted file replaces the input.
//
// Record order: whole lines compared byte by byte as unsigned values, a
// proper prefix first; the line end takes part. Every sorted work file is in
// this order, so equal names stand together.
//
// Memory is fixed whatever the file size: one chunk buffer and the buffers of
// at most four inputs and one output.

#ifndef TOVEX_SORT_EXTERNAL_SORT_H_
#define TOVEX_SORT_EXTERNAL_SORT_H_

#include <array>
#include <string>
#include <string_view>

#include "base/status.h"
#include "work/work_file.h"

namespace tovex {

// Records per in-memory chunk: bounds the sort's memory at about 800 kB.
inline constexpr int kChunkRecords = 5000;
// Inputs of one merge.
inline constexpr int kMergeWays = 4;
// The slot name that marks an unused merge input.
inline constexpr std::string_view kNullSlot = "NULL";

// Sorts the named work file in place. Fails with CannotOpen when the file or
// a chunk file cannot be opened, CannotWrite when a write is lost.
Status SortWorkFile(const WorkDir& work, std::string_view name);

// Merges the sorted numbered files first..last with `suffix` ("3.ddy") into
// `out_name`. A missing numbered file counts as empty; last < first writes an
// empty output. Intermediates take the numbers last+1, last+2, ...
Status MergeNumberedFiles(const WorkDir& work, int first, int last,
                          std::string_view out_name, std::string_view suffix);

// Merges up to four sorted files (kNullSlot marks an unused slot; a missing
// file counts as empty) into `out_name`, created through OpenOrDie.
Status MergeFour(const WorkDir& work,
                 const std::array<std::string, kMergeWays>& slots,
                 std::string_view out_name);

}  // namespace tovex

#endif  // TOVEX_SORT_EXTERNAL_SORT_H_
