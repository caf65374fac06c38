// The list decodes a name only when a comparison reaches it. One test in a program of its own:
// nothing else may have looked at the list before.
#include <gtest/gtest.h>

#include "launch/allowed_publishers.h"
#include "launch/allowed_publishers_decoding.h"
#include "launch/verify_publisher.h"

namespace {

std::size_t Decoded() {
  std::size_t count = 0;
  for (std::size_t i = 0; i < kAllowedPublisherCount; ++i)
    count += IsAllowedPublisherDecoded(i) ? 1 : 0;
  return count;
}

TEST(AllowedPublishers, AMatchStopsTheWalkAndLaterNamesStayEncoded) {
  EXPECT_EQ(Decoded(), 0u);
  EXPECT_EQ(IsAllowedPublisher(L"Vistrel Software Co., Ltd."), 1);
  EXPECT_EQ(Decoded(), 1u);
  EXPECT_TRUE(IsAllowedPublisherDecoded(0));
  EXPECT_EQ(IsAllowedPublisher(L"Vistrel Online Co., Ltd."), 1);
  EXPECT_EQ(Decoded(), 11u);
  EXPECT_EQ(IsAllowedPublisher(L"Kitbase Technology Co., Ltd"), 0) << "one character short";
  EXPECT_EQ(Decoded(), kAllowedPublisherCount);
  EXPECT_EQ(IsAllowedPublisher(L"维斯特瑞（香港）有限公司"), 1);
  EXPECT_EQ(IsAllowedPublisher(L""), 0);
  EXPECT_EQ(IsAllowedPublisher(nullptr), 0);
}

}  // namespace
