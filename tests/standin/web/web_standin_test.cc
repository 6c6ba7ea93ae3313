// The web stand-in's own promises that the client tests and other
// programs' tests lean on: state kept across a restart, uploads stored as
// sent, faults applied exactly as often as asked.

#include <gtest/gtest.h>
#include <json/json.h>

#include "runtime/http/http_session.h"
#include "tests/support/web_standin.h"

namespace ombrix::test {
namespace {

// Posts to the stand-in; the reply body, or "" on a transport failure.
std::string Post(const WebStandin& s, const std::string& path_and_query,
                 const std::string& body = "", int* status = nullptr) {
  brx::http::HttpSession session;
  if (!session.Open(s.base_url() + path_and_query)) return "";
  if (!session.SendRequest(body.data(), body.size())) return "";
  if (status) session.GetStatusCode(status);
  return session.body();
}

Json::Value Parse(const std::string& text) {
  Json::Value v;
  EXPECT_TRUE(Json::Reader().parse(text, v)) << text;
  return v;
}

TEST(WebStandinTest, UsersAndSessionsSurviveARestartWithAStateFile) {
  TempDir dir;
  std::string state = dir.Sub("state.json");
  std::string session;
  {
    WebStandin first(WebStandin::Options{false, {"--state", state}});
    ASSERT_TRUE(first.running());
    first.Control("user", "account=carol&password=pw1&nick=Carol");
    Json::Value login =
        Parse(Post(first,
                   "/ClientInterface.axd?Account=carol&CommandName=UserLogin&Password=pw1"
                   "&PaswordType=simple&RequireCipher=false"));
    ASSERT_EQ(login["Status"].asInt(), 0);
    session = login["Data"]["SessionID"].asString();
    EXPECT_EQ(login["Data"]["UserAccount"]["IsCertificated"].asInt(),
              0);  // flags go out as numbers
  }
  WebStandin second(WebStandin::Options{false, {"--state", state}});
  ASSERT_TRUE(second.running());
  Json::Value prompt =
      Parse(Post(second, "/ClientInterface.axd?CommandName=GetDataPrompt&SessionId=" + session +
                             "&UserAccountId=1001"));
  EXPECT_EQ(prompt["Status"].asInt(), 0);
  EXPECT_EQ(prompt["Data"]["NewFansCount"].asInt(), 0);
  Json::Value refused =
      Parse(Post(second, "/ClientInterface.axd?CommandName=GetDataPrompt&SessionID=" + session));
  EXPECT_NE(refused["Status"].asInt(), 0);  // the session parameter's spelling matters
}

TEST(WebStandinTest, UploadsAreStoredAsSentUnderTheirOwnNamesOnly) {
  WebStandin s;
  std::string dump("\x1f\x8b\x08\x00 dump bytes \x00\xff", 16);
  Parse(Post(s, "/UploadFileDMP.ashx?fileName=..%2F..%2Fcrash.dmp.gz&random_ticket=1", dump));
  EXPECT_EQ(ReadFile(s.data_dir() + "/dumps/crash.dmp.gz"), dump);
  EXPECT_EQ(s.RequestsTo("/UploadFileDMP.ashx").at(0).body_length, dump.size());

  std::string xml = Post(s, "/UploadFile.axd?CommandName=BlogImage", "jpeg bytes");
  size_t b = xml.find("<Data>"), e = xml.find("</Data>");
  ASSERT_NE(b, std::string::npos) << xml;
  std::string address = xml.substr(b + 6, e - b - 6);
  EXPECT_EQ(ReadFile(s.data_dir() + address.substr(s.base_url().size())), "jpeg bytes");
  EXPECT_NE(Post(s, "/UploadFile.axd?CommandName=BlogImage", "").find("<Status>2</Status>"),
            std::string::npos);
}

TEST(WebStandinTest, FaultsApplyAsOftenAsAskedAndOnlyToTheirCommand) {
  WebStandin s;
  s.Fault("command=GetServerDateTime&mode=garbage&count=2");
  const std::string time = "/ClientInterface.axd?CommandName=GetServerDateTime";
  EXPECT_EQ(Post(s, "/ClientInterface.axd?CommandName=RecommendedAdd&Content=x").rfind("{", 0), 0u);
  EXPECT_EQ(Post(s, time).rfind("<html>", 0), 0u);
  EXPECT_EQ(Post(s, time).rfind("<html>", 0), 0u);
  EXPECT_EQ(Post(s, time).rfind("{", 0), 0u);
  s.Fault("command=GetServerDateTime&mode=empty&count=-1");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Post(s, time), "");
  s.Control("clear");
  EXPECT_EQ(Post(s, time).rfind("{", 0), 0u);
  EXPECT_EQ(s.RequestsFor("GetServerDateTime").size(), 7u);  // control requests are not logged
}

TEST(WebStandinTest, BadInputGetsAClearErrorInsteadOfADroppedLine) {
  WebStandin s;
  Json::Value login =
      Parse(Post(s,
                 "/ClientInterface.axd?Account=demo&CommandName=UserLogin&Password=ombrix2024"
                 "&PaswordType=simple&RequireCipher=false"));
  std::string search =
      "/ClientInterface.axd?CommandName=SearchByNickAndProfile&Keyword=d&SessionId=" +
      login["Data"]["SessionID"].asString();
  EXPECT_EQ(Parse(Post(s, search + "&Page=1&PageSize=10"))["Status"].asInt(), 0);
  for (const char* paging : {"&Page=abc&PageSize=100", "&Page=1&PageSize=1.5"}) {
    Json::Value reply = Parse(Post(s, search + paging));
    EXPECT_NE(reply["Status"].asInt(), 0) << paging;
    EXPECT_FALSE(reply["Message"].asString().empty()) << paging;
  }
  // Control requests that lack a parameter or carry a malformed one.
  for (const char* bad :
       {"user?password=x", "user?account=a", "user?account=a&password=b&BlogCount=lots",
        "ticket?ticket=t", "ticket?account=demo", "prompt?fans=1", "prompt?account=nobody&fans=1",
        "prompt?account=demo&fans=many", "fault?mode=slow&delay_ms=soon", "fault?count=x"}) {
    int status = 0;
    std::string body = Post(s, std::string("/__control/") + bad, "", &status);
    EXPECT_EQ(status, 400) << bad;
    EXPECT_FALSE(Parse(body)["error"].asString().empty()) << bad;
  }
  EXPECT_EQ(Parse(Post(s, "/ClientInterface.axd?CommandName=GetServerDateTime"))["Status"].asInt(),
            0);
}

// A PNG's signature and header chunk: all the head upload looks at.
std::string PngHead(uint32_t w, uint32_t h) {
  std::string out("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  for (uint32_t v : {w, h})
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
  return out + std::string("\x08\x06\0\0\0 pixels", 12);
}

TEST(WebStandinTest, HeadPicturesAreTakenForTheKeysUserOnlyAndRecorded) {
  WebStandin s;
  Json::Value login =
      Parse(Post(s,
                 "/ClientInterface.axd?Account=demo&CommandName=UserLogin&Password=ombrix2024"
                 "&PaswordType=simple&RequireCipher=false"));
  Json::Value key =
      Parse(Post(s, "/ClientInterface.axd?CommandName=GetCurrentUserQtidByEncrypt&SessionId=" +
                        login["Data"]["SessionID"].asString()));
  ASSERT_EQ(key["Status"].asInt(), 0);
  const std::string upload = "/UploadHeadImage.axd?Key=" + key["Data"].asString();
  const std::string png = PngHead(180, 180);
  Json::Value ok = Parse(Post(s, upload + "&Size=big", png));
  ASSERT_EQ(ok["Status"].asInt(), 0) << ok["Message"].asString();
  std::string address = ok["Data"].asString();
  ASSERT_EQ(address.rfind(s.base_url() + "/uploads/", 0), 0u) << address;
  EXPECT_EQ(address.find(','), std::string::npos);  // it goes into a comma-separated list
  EXPECT_EQ(ReadFile(s.data_dir() + address.substr(s.base_url().size())), png);

  EXPECT_EQ(Parse(Post(s, "/UploadHeadImage.axd?Key=nobody&Size=big", png))["Status"].asInt(), 3);
  EXPECT_EQ(Parse(Post(s, upload + "&Size=huge", png))["Status"].asInt(), 1);
  EXPECT_EQ(Parse(Post(s, upload + "&Size=mid", "GIF89a not a png"))["Status"].asInt(), 2);
  EXPECT_EQ(Parse(Post(s, upload + "&Size=mid", ""))["Status"].asInt(), 2);

  Json::Value state = Parse(s.Control("state"));
  ASSERT_EQ(state["head_uploads"].size(), 1u);
  const Json::Value& got = state["head_uploads"][0];
  EXPECT_EQ(got["Account"].asString(), "demo");
  EXPECT_EQ(got["Size"].asString(), "big");
  EXPECT_EQ(got["Width"].asInt(), 180);
  EXPECT_EQ(got["Height"].asInt(), 180);
  EXPECT_EQ(got["Url"].asString(), address);
}

}  // namespace
}  // namespace ombrix::test
