#include "bandwidth/server_catalogue.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

class ServerCatalogueFiles : public ProgramFolderTest {};

}  // namespace

TEST_F(ServerCatalogueFiles, ShippedCatalogueChoosesTheBeijingTelecomServer) {
  for (const char* f :
       {"addr_server.xml", "dest_config.xml", "operator_config.xml", "province_config.xml"}) {
    testsupport::CopyFile(testsupport::SourcePath(std::string("deploy/Config/") + f),
                          At(std::string("Config/") + f));
  }
  const ServerCatalogue cat = LoadServerCatalogue();
  ASSERT_GE(cat.size(), 3u);
  EXPECT_EQ(cat[0].name, "北京");
  EXPECT_EQ(cat[0].nas, "N");
  EXPECT_EQ(cat[0].near, (std::vector<std::string>{"天津", "河北"}));
  const TestServer* server = FindServer(cat, "北京电信");
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(server->address, "127.0.0.2");
  EXPECT_EQ(server->monitorId, "1101");

  const auto operators = LoadOperatorNames();
  ASSERT_FALSE(operators.empty());
  EXPECT_EQ(operators[0], "电信");
  EXPECT_EQ(LoadProvinceNames().size(), 31u);

  const ServerSelection sel = SelectServers(cat, {"北京", "北京", "电信"}, operators);
  ASSERT_FALSE(sel.candidates.empty());
  EXPECT_EQ(sel.candidates[0], "北京电信");
  for (const auto& name : sel.candidates) EXPECT_EQ(name.find("电信通"), std::string::npos);
}

TEST_F(ServerCatalogueFiles, MissingAndBrokenFiles) {
  EXPECT_TRUE(LoadServerCatalogue().empty());
  EXPECT_TRUE(LoadOperatorNames().empty());

  // A server without a usable destination keeps an empty address; the first entry of a name
  // wins; a cut-off file still yields what was read.
  Write("Config\\addr_server.xml",
        "<r><province-array name=\"天津\" nas=\"N\" near=\"\"><server>天津电信</server>"
        "<server>天津联通</server><server>无地址</server></province-array>"
        "<province-array name=\"河北\"><server>石家庄");
  Write("Config\\dest_config.xml",
        "<d><destip name=\"天津电信\" value=\"127.0.0.6:1201:1\"/>"
        "<destip name=\"天津电信\" value=\"127.0.0.9:9:9\"/>"
        "<destip name=\"天津联通\" value=\"not an address\"/>");
  const ServerCatalogue cat = LoadServerCatalogue();
  ASSERT_GE(cat.size(), 1u);
  ASSERT_EQ(cat[0].servers.size(), 3u);
  EXPECT_TRUE(cat[0].near.empty());
  EXPECT_EQ(cat[0].servers[0].address, "127.0.0.6");
  EXPECT_EQ(cat[0].servers[0].monitorId, "1201");
  EXPECT_EQ(cat[0].servers[1].address, "");
  EXPECT_EQ(cat[0].servers[2].monitorId, "");

  Write("Config\\addr_server.xml", "\xff\xfe garbage <<<");
  EXPECT_TRUE(LoadServerCatalogue().empty());
}
