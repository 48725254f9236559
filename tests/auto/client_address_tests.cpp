#include <gtest/gtest.h>

#include "auto/client_address.h"

namespace {

TEST(ClientAddressTest, PrivateRangesAndTheirEdges) {
  for (const char* inside : {"10.0.0.0", "10.255.255.255", "172.16.0.1", "172.31.255.255",
                             "192.168.0.0", "192.168.255.255"})
    EXPECT_TRUE(IsPrivateAddress(inside)) << inside;
  for (const char* outside : {"9.255.255.255", "11.0.0.0", "172.15.255.255", "172.32.0.0",
                              "192.167.255.255", "192.169.0.0", "198.18.0.1", "127.0.0.1", "",
                              "10.0.0", "10.0.0.0.1", "10.0.0.256", "a.b.c.d", "010.0.0.1x"})
    EXPECT_FALSE(IsPrivateAddress(outside)) << outside;
}

TEST(ClientAddressTest, PicksFirstPublicHopSkippingSilentPrivateAndDestination) {
  std::vector<std::string> lines = {
      "1  192.168.1.1  0.321 ms  0.280 ms  0.275 ms",
      "2  * * *",
      "3  10.20.0.1  1.1 ms  1.0 ms  1.2 ms",
      "4  172.20.0.1  2.000 ms *  2.100 ms",
      "5  198.18.7.1  3.000 ms  3.100 ms  3.200 ms",
      "6  198.18.9.9  4.000 ms  4.100 ms  4.200 ms",
  };
  EXPECT_EQ(PickClientAddress(lines, "198.18.9.9"), "198.18.7.1");
  // The destination itself is never the client address.
  lines.erase(lines.begin() + 4);
  EXPECT_EQ(PickClientAddress(lines, "198.18.9.9"), "");
  // Leading blanks (a trace program pads the hop number) do not shift the words.
  EXPECT_EQ(PickClientAddress({" 1  198.18.2.2  0.1 ms"}, "198.18.3.2"), "198.18.2.2");
  // A hop whose first probe was lost shows "*" as second word and is passed over.
  EXPECT_EQ(PickClientAddress({"1  * 198.18.2.2  0.1 ms", "2  198.18.4.4  0.2 ms"}, "198.18.3.2"),
            "198.18.4.4");
  // Broken lines never yield a non-address.
  EXPECT_EQ(PickClientAddress({"", "1", "1  !H", "1  host.example  1 ms"}, "198.18.3.2"), "");
}

}  // namespace
