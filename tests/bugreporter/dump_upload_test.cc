#include "bugreporter/dump_upload.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "runtime/platform/process.h"
#include "runtime/util/gzip.h"
#include "tests/support/web_standin.h"

namespace {

using ombrix::test::TempDir;
using ombrix::test::WebStandin;

TEST(FindImageStorageServerTest, FirstServerInsideTheElementOnly) {
  std::string host;
  EXPECT_TRUE(FindImageStorageServer(
      "<Node><ClientInterfaceServer><Rule><Server>a:1</Server></Rule></ClientInterfaceServer>"
      "<ImageStorageServer><Rule><Server>img:8080</Server><Server>x</Server></Rule></"
      "ImageStorageServer></Node>",
      &host));
  EXPECT_EQ(host, "img:8080");
  EXPECT_FALSE(FindImageStorageServer(
      "<ImageStorageServer></ImageStorageServer><Server>out</Server>", &host));
  EXPECT_FALSE(FindImageStorageServer("<ImageStorageServer><Server>x</Server>", &host));
  EXPECT_FALSE(FindImageStorageServer("", &host));
}

TEST(DumpPathFromArgumentsTest, QuotesAreStrippedAndArgumentsJoined) {
  char prog[] = "OBBugreporter.exe", quoted[] = "\"/opt/a b/x.dmp\"", a[] = "\"/opt/a",
       b[] = "b/x.dmp\"";
  char* one[] = {prog, quoted};
  EXPECT_EQ(DumpPathFromArguments(2, one), "/opt/a b/x.dmp");
  char* split[] = {prog, a, b};
  EXPECT_EQ(DumpPathFromArguments(3, split), "/opt/a b/x.dmp");
  char* none[] = {prog};
  EXPECT_EQ(DumpPathFromArguments(1, none), "");
}

// The real program in a private install folder against the web stand-in.
class UploaderProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(web_.running());
    std::filesystem::create_directories(dir_.Sub("app"));
    std::filesystem::copy_file(ombrix::test::DistDir() + "/OBBugreporter.exe",
                               dir_.Sub("app/OBBugreporter.exe"));
    dump_ = dir_.Sub("app/2.3.109.05.OBHost.exe.2026-12-8-7.5.9.dmp");
    std::string data;
    for (int i = 0; i < 5000; ++i)
      data += "frame " + std::to_string(i) + " rip 0x" + std::to_string(i * 7919) + "\n";
    ombrix::test::WriteFile(dump_, data);
    dump_data_ = data;
  }
  void Run(const std::vector<std::string>& args) {
    auto child = brx::platform::ChildProcess::Spawn({dir_.Sub("app/OBBugreporter.exe"), args, ""});
    ASSERT_TRUE(child);
    int status = -1;
    ASSERT_TRUE(child->Wait(30000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  std::string Gsc(const std::string& host) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Node><ImageStorageServer><Rule><Server>" +
           host + "</Server></Rule></ImageStorageServer></Node>\n";
  }
  std::string Uploaded(const std::string& name) { return web_.StoredDump(name); }

  WebStandin web_;
  TempDir dir_;
  std::string dump_, dump_data_;
};

TEST_F(UploaderProcessTest, QuotedPathIsCompressedPostedAndTheCopyRemoved) {
  ombrix::test::WriteFile(dir_.Sub("app/gsc"), Gsc(web_.host()));
  Run({"\"" + dump_ + "\""});
  auto posts = web_.RequestsTo("/UploadFileDMP.ashx");
  ASSERT_EQ(posts.size(), 1u);
  std::string gz_name = "2.3.109.05.OBHost.exe.2026-12-8-7.5.9.dmp.gz";
  EXPECT_EQ(posts[0].method, "POST");
  EXPECT_EQ(posts[0].ParamKeys(), (std::vector<std::string>{"fileName", "random_ticket"}));
  EXPECT_EQ(posts[0].Param("fileName"), gz_name);
  std::string gz = Uploaded(gz_name);
  EXPECT_EQ(posts[0].body_length, gz.size());
  std::string plain;
  ASSERT_TRUE(brx::util::InflateGzipBody(gz.data(), gz.size(), &plain));
  EXPECT_EQ(plain, dump_data_);
  EXPECT_TRUE(ombrix::test::PathExists(dump_));
  EXPECT_FALSE(ombrix::test::PathExists(dump_ + ".gz"));
}

TEST_F(UploaderProcessTest, TestConfigurationWinsButNotAFolderOfThatName) {
  ombrix::test::WriteFile(dir_.Sub("app/gsc"), Gsc("127.0.0.1:1"));
  ombrix::test::WriteFile(dir_.Sub("app/gsc.test"), Gsc(web_.host()));
  Run({dump_});
  EXPECT_EQ(web_.RequestsTo("/UploadFileDMP.ashx").size(), 1u);
  std::filesystem::remove(dir_.Sub("app/gsc.test"));
  std::filesystem::create_directory(dir_.Sub("app/gsc.test"));
  ombrix::test::WriteFile(dir_.Sub("app/gsc"), Gsc(web_.host()));
  Run({dump_});
  EXPECT_EQ(web_.RequestsTo("/UploadFileDMP.ashx").size(), 2u);
}

TEST_F(UploaderProcessTest, NothingIsSentWithoutServerOrReport) {
  ombrix::test::WriteFile(
      dir_.Sub("app/gsc"),
      "<Node><ImageStorageServer></ImageStorageServer><Server>" + web_.host() + "</Server></Node>");
  Run({dump_});
  ombrix::test::WriteFile(dir_.Sub("app/gsc"), Gsc(web_.host()));
  Run({});
  Run({dir_.Sub("app/missing.dmp")});
  EXPECT_TRUE(web_.RequestsTo("/UploadFileDMP.ashx").empty());
  EXPECT_TRUE(ombrix::test::PathExists(dump_));
  EXPECT_FALSE(ombrix::test::PathExists(dump_ + ".gz"));
}

}  // namespace
