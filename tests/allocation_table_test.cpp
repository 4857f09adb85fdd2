// The runtime's ordered table of live device allocations.
#include "allocation_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

std::vector<std::uint32_t> addresses(cudart::AllocationTable& table)
{
  std::vector<std::uint32_t> result;
  for (const auto& entry : table)
    result.push_back(entry.first);
  return result;
}

TEST(AllocationTableTest, KeepsAddressOrderThroughInsertsAndErasures)
{
  auto table = std::make_unique<cudart::AllocationTable>(); // too large for the stack
  for (std::uint32_t address : {0x5000u, 0x1000u, 0x9000u, 0x3000u})
    table->emplace(address, cudart::Allocation{address / 2, address});
  EXPECT_EQ(addresses(*table), (std::vector<std::uint32_t>{0x1000, 0x3000, 0x5000, 0x9000}));
  EXPECT_EQ(table->find(0x5000)->second.size, 0x2800u);
  EXPECT_EQ(table->find(0x5001), table->end());
  EXPECT_EQ(table->upper_bound(0x5000)->first, 0x9000u);
  EXPECT_EQ(table->lower_bound(0x5001)->first, 0x9000u);
  EXPECT_EQ(table->upper_bound(0x9000), table->end());

  table->erase(table->find(0x3000));
  table->erase(table->find(0x9000));
  table->emplace(0x2000, cudart::Allocation{1, 0x1000});
  EXPECT_EQ(addresses(*table), (std::vector<std::uint32_t>{0x1000, 0x2000, 0x5000}));
  EXPECT_EQ(table->find(0x5000)->second.span, 0x5000u);
  EXPECT_FALSE(table->full());
}

} // namespace
