// Runs of received bytes reach the handler byte by byte; a frame write or a
// stop drops what is left, and a run read before one is dropped whole.

#include "link/batch_delivery.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace tavro::link {
namespace {

class BatchDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    delivery.SetHandler([this](std::uint8_t b) {
      got.push_back(b);
      if (b == dropAt)
        delivery.DropRest();
    });
  }
  BatchDelivery delivery;
  std::vector<std::uint8_t> got;
  int dropAt = -1;
};

TEST_F(BatchDeliveryTest, AWholeRunArrivesInOrder) {
  const Bytes run = {1, 2, 3, 4};
  EXPECT_EQ(delivery.Deliver(run, delivery.Generation()), 4u);
  EXPECT_EQ(got, run);
}

TEST_F(BatchDeliveryTest, AWriteWhileAByteIsHandledDropsTheRestOfTheRunOnly) {
  dropAt = 2;
  EXPECT_EQ(delivery.Deliver(Bytes{1, 2, 3, 4}, delivery.Generation()), 2u);
  EXPECT_EQ(got, (Bytes{1, 2}));
  // The next run is read after the write and arrives whole.
  dropAt = -1;
  EXPECT_EQ(delivery.Deliver(Bytes{5, 6}, delivery.Generation()), 2u);
  EXPECT_EQ(got, (Bytes{1, 2, 5, 6}));
}

TEST_F(BatchDeliveryTest, ARunReadBeforeAWriteIsDroppedWhole) {
  const std::uint64_t readAt = delivery.Generation();
  delivery.DropRest();  // a frame written by a timer while the run waited
  EXPECT_EQ(delivery.Deliver(Bytes{1, 2}, readAt), 0u);
  EXPECT_TRUE(got.empty());
}

TEST_F(BatchDeliveryTest, TheLastByteOfARunMayWrite) {
  dropAt = 3;
  EXPECT_EQ(delivery.Deliver(Bytes{1, 2, 3}, delivery.Generation()), 3u);
  EXPECT_EQ(got, (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace tavro::link
