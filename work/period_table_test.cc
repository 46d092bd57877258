#include "work/period_table.h"

#include <gtest/gtest.h>

#include <memory>

namespace tovex {
namespace {

// Counts past what a 16-bit cell holds, in one cell and spread over many,
// reach the cells whole once settled; a period that comes back keeps its
// entry.
TEST(PeriodTableTest, SettledCellsHoldEveryCount) {
  auto table = std::make_unique<PeriodTable>();
  const int a = table->Add(2024, 2);
  const int b = table->Add(2023, 12);
  for (int i = 0; i < 200000; ++i) table->Count(a, 29, 23);
  for (int i = 0; i < 70000; ++i) table->Count(b, 1 + i % 31, i % 24);
  EXPECT_EQ(table->Find(2024, 2), a);
  table->Settle();
  EXPECT_EQ((*table->at(a).cells)[29][23], 200000);
  EXPECT_EQ(table->at(a).count, 200000);
  EXPECT_EQ(table->at(a).DayCount(29), 200000);
  int64_t b_total = 0;
  for (int day = 1; day <= 31; ++day) b_total += table->at(b).DayCount(day);
  EXPECT_EQ(b_total, 70000);
  EXPECT_EQ(table->at(b).DayCount(2), 70000 / 31 + 1);
}

}  // namespace
}  // namespace tovex
